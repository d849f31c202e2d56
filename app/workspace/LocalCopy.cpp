#include "app/workspace/LocalCopy.h"

#include "api/WireCoding.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace quillfern {
namespace {

constexpr quint32 magic = 0x51464c43; // "QFLC"
constexpr quint32 formatVersion = 1;

void write(QDataStream &out, const AssetRow &row)
{
    out << row.id << row.market << row.sector << row.subSector << row.code << row.broker << row.averagePrice
        << row.quantity << row.currentPrice;
}

void read(QDataStream &in, AssetRow &row)
{
    in >> row.id >> row.market >> row.sector >> row.subSector >> row.code >> row.broker >> row.averagePrice >>
        row.quantity >> row.currentPrice;
}

void write(QDataStream &out, const CashRow &row)
{
    out << row.id << row.broker << row.originalCash << row.currency << row.serverFXToUSD.has_value()
        << row.serverFXToUSD.value_or(0);
}

void read(QDataStream &in, CashRow &row)
{
    bool hasRate = false;
    double rate = 0;
    in >> row.id >> row.broker >> row.originalCash >> row.currency >> hasRate >> rate;
    row.serverFXToUSD = hasRate ? std::optional<double>(rate) : std::nullopt;
}

template <class Row> void writeRows(QDataStream &out, const QList<Row> &rows)
{
    out << quint32(rows.size());
    for (const Row &row : rows)
        write(out, row);
}

template <class Row> QList<Row> readRows(QDataStream &in)
{
    quint32 count = 0;
    in >> count;
    QList<Row> rows;
    // A damaged count must not reserve memory the file cannot fill.
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        Row row;
        read(in, row);
        rows.append(std::move(row));
    }
    return rows;
}

// Reference lists are kept exactly as the service sent them, in its own coding.
template <class Value> QByteArray wireText(const Value &value)
{
    const auto encoded = encodeJSON(value);
    return encoded ? *encoded : QByteArrayLiteral("[]");
}

template <class Record> QList<Record> readList(QDataStream &in)
{
    QByteArray text;
    in >> text;
    auto decoded = decodeJSON<QList<Record>>(text);
    return decoded ? *std::move(decoded) : QList<Record>();
}

// A rename is only durable once the folder that holds the name is on disk too.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

LocalCopy::LocalCopy(QString folder) : m_folder(std::move(folder)) {}

QString LocalCopy::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quillfern/accounts");
}

void LocalCopy::setAccount(const QString &serviceOrigin, const QString &account)
{
    if (!isEnabled() || account.isEmpty()) {
        m_path.clear();
        return;
    }
    // The name says nothing about whose copy it is to someone listing the folder.
    const QByteArray key = serviceOrigin.toUtf8() + '\n' + account.trimmed().toLower().toUtf8();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32);
    m_path = m_folder + QLatin1Char('/') + QString::fromLatin1(digest) + QStringLiteral(".copy");
}

// A binary stream: the tables are read straight into rows, which keeps the start of the window short; the
// reference lists travel as the service's own JSON.
QByteArray LocalCopy::encode(const LocalCopyData &data)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const bool edited = !(data.rows == data.synced.holdings && data.cashRows == data.synced.cashBalances);
    out << magic << formatVersion << data.synced.version;
    writeRows(out, data.synced.holdings);
    writeRows(out, data.synced.cashBalances);
    out << edited;
    if (edited) {
        writeRows(out, data.rows);
        writeRows(out, data.cashRows);
    }
    out << wireText(data.currencies) << wireText(data.languages) << wireText(data.brokerages)
        << wireText(data.gicsClassifications) << wireText(data.transactions);
    return bytes;
}

std::optional<LocalCopyData> LocalCopy::decode(const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 fileMagic = 0, format = 0;
    in >> fileMagic >> format;
    if (fileMagic != magic || format != formatVersion)
        return std::nullopt;
    LocalCopyData data;
    bool edited = false;
    in >> data.synced.version;
    data.synced.holdings = readRows<AssetRow>(in);
    data.synced.cashBalances = readRows<CashRow>(in);
    in >> edited;
    if (edited) {
        data.rows = readRows<AssetRow>(in);
        data.cashRows = readRows<CashRow>(in);
    } else {
        data.rows = data.synced.holdings;
        data.cashRows = data.synced.cashBalances;
    }
    data.currencies = readList<CurrencyOption>(in);
    data.languages = readList<LanguageOption>(in);
    data.brokerages = readList<BrokerageOption>(in);
    data.gicsClassifications = readList<GICSClassification>(in);
    data.transactions = readList<TransactionRecord>(in);
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return data;
}

std::optional<LocalCopyData> LocalCopy::load() const
{
    if (m_path.isEmpty())
        return std::nullopt;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return decode(file.readAll());
}

bool LocalCopy::store(const LocalCopyData &data) const
{
    if (m_path.isEmpty())
        return false;
    if (!QDir().mkpath(m_folder))
        return false;
    QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = encode(data);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return false;
    syncFolder(m_folder);
    return true;
}

bool LocalCopy::remove() const
{
    if (m_path.isEmpty() || !QFile::exists(m_path))
        return true;
    const bool removed = QFile::remove(m_path);
    syncFolder(m_folder);
    return removed;
}

} // namespace quillfern

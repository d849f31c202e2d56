#include "app/workspace/LocalCopy.h"

#include "api/WireCoding.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace quillfern {
namespace {

constexpr int formatVersion = 1;

// The tables in the service's own record shapes, so the quick wire reader decodes them. A cash row without
// a rate of the service's is written with 0, which no real rate is.
PortfolioResponse tables(const QList<AssetRow> &rows, const QList<CashRow> &cashRows)
{
    PortfolioResponse tables;
    tables.holdings.reserve(rows.size());
    for (const AssetRow &row : rows)
        tables.holdings.append(ServerHolding{row.id, row.market, row.sector, row.subSector, row.code, QString(),
                                             row.broker, row.averagePrice, row.quantity, row.currentPrice, 0,
                                             QString()});
    tables.cashBalances.reserve(cashRows.size());
    for (const CashRow &row : cashRows)
        tables.cashBalances.append(
            ServerCashBalance{row.id, row.broker, row.originalCash, row.currency, row.serverFXToUSD.value_or(0), {}});
    return tables;
}

bool readTables(const QByteArray &line, QList<AssetRow> &rows, QList<CashRow> &cashRows)
{
    const auto decoded = decodeJSON<PortfolioResponse>(line);
    if (!decoded)
        return false;
    rows.reserve(decoded->holdings.size());
    for (const ServerHolding &h : decoded->holdings) {
        if (!h.id)
            return false;
        rows.append(AssetRow{*h.id, h.market, h.sector, h.subSector, h.code, h.broker, h.averagePrice, h.quantity,
                             h.currentPrice});
    }
    cashRows.reserve(decoded->cashBalances.size());
    for (const ServerCashBalance &c : decoded->cashBalances) {
        if (!c.id)
            return false;
        cashRows.append(CashRow{*c.id, c.broker, c.originalCash, c.currency,
                                c.fxToUsd > 0 ? std::optional<double>(c.fxToUsd) : std::nullopt});
    }
    return true;
}

template <class Value> QByteArray line(const Value &value)
{
    const auto encoded = encodeJSON(value);
    return encoded ? *encoded : QByteArrayLiteral("[]");
}

template <class Record> QList<Record> readList(const QByteArray &line)
{
    auto decoded = decodeJSON<QList<Record>>(line);
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
    m_path = m_folder + QLatin1Char('/') + QString::fromLatin1(digest) + QStringLiteral(".json");
}

// One JSON document per line: a header, the synchronised tables, the working tables (null when they are the
// same), then the reference lists. Each line is read on its own by the quick wire reader, which keeps the
// start of the window short.
QByteArray LocalCopy::encode(const LocalCopyData &data)
{
    const QJsonObject header{{QStringLiteral("format"), formatVersion},
                             {QStringLiteral("version"), QString::fromLatin1(data.synced.version)}};
    const bool edited = !(data.rows == data.synced.holdings && data.cashRows == data.synced.cashBalances);
    const QList<QByteArray> lines{QJsonDocument(header).toJson(QJsonDocument::Compact),
                                  line(tables(data.synced.holdings, data.synced.cashBalances)),
                                  edited ? line(tables(data.rows, data.cashRows)) : QByteArrayLiteral("null"),
                                  line(data.currencies),
                                  line(data.languages),
                                  line(data.brokerages),
                                  line(data.gicsClassifications),
                                  line(data.transactions)};
    return lines.join('\n') + '\n';
}

std::optional<LocalCopyData> LocalCopy::decode(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 8)
        return std::nullopt;
    const QJsonObject header = QJsonDocument::fromJson(lines[0]).object();
    if (header.value(QStringLiteral("format")).toInt() != formatVersion)
        return std::nullopt;
    LocalCopyData data;
    data.synced.version = header.value(QStringLiteral("version")).toString().toLatin1();
    if (!readTables(lines[1], data.synced.holdings, data.synced.cashBalances))
        return std::nullopt;
    if (lines[2] == "null") {
        data.rows = data.synced.holdings;
        data.cashRows = data.synced.cashBalances;
    } else if (!readTables(lines[2], data.rows, data.cashRows)) {
        return std::nullopt;
    }
    data.currencies = readList<CurrencyOption>(lines[3]);
    data.languages = readList<LanguageOption>(lines[4]);
    data.brokerages = readList<BrokerageOption>(lines[5]);
    data.gicsClassifications = readList<GICSClassification>(lines[6]);
    data.transactions = readList<TransactionRecord>(lines[7]);
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

#include "app/workspace/LocalCopy.h"

#include "api/WireCoding.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace quillfern {
namespace {

constexpr int formatVersion = 1;

QJsonObject holdingObject(const AssetRow &row)
{
    return QJsonObject{{QStringLiteral("id"), row.id},
                       {QStringLiteral("market"), row.market},
                       {QStringLiteral("sector"), row.sector},
                       {QStringLiteral("sub_sector"), row.subSector},
                       {QStringLiteral("code"), row.code},
                       {QStringLiteral("broker"), row.broker},
                       {QStringLiteral("average_price"), row.averagePrice},
                       {QStringLiteral("quantity"), row.quantity},
                       {QStringLiteral("current_price"), row.currentPrice}};
}

QJsonObject cashObject(const CashRow &row)
{
    QJsonObject object{{QStringLiteral("id"), row.id},
                       {QStringLiteral("broker"), row.broker},
                       {QStringLiteral("original_cash"), row.originalCash},
                       {QStringLiteral("currency"), row.currency}};
    if (row.serverFXToUSD)
        object.insert(QStringLiteral("fx_to_usd"), *row.serverFXToUSD);
    return object;
}

QJsonObject tables(const QList<AssetRow> &rows, const QList<CashRow> &cashRows)
{
    QJsonArray holdings;
    for (const AssetRow &row : rows)
        holdings.append(holdingObject(row));
    QJsonArray cash;
    for (const CashRow &row : cashRows)
        cash.append(cashObject(row));
    return QJsonObject{{QStringLiteral("holdings"), holdings}, {QStringLiteral("cash_balances"), cash}};
}

bool readTables(const QJsonValue &value, QList<AssetRow> &rows, QList<CashRow> &cashRows)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    const QJsonValue holdings = object.value(QStringLiteral("holdings"));
    const QJsonValue cash = object.value(QStringLiteral("cash_balances"));
    if (!holdings.isArray() || !cash.isArray())
        return false;
    for (const QJsonValue &entry : holdings.toArray()) {
        const QJsonObject h = entry.toObject();
        if (!h.value(QStringLiteral("id")).isString())
            return false;
        rows.append(AssetRow{h.value(QStringLiteral("id")).toString(), h.value(QStringLiteral("market")).toString(),
                             h.value(QStringLiteral("sector")).toString(),
                             h.value(QStringLiteral("sub_sector")).toString(), h.value(QStringLiteral("code")).toString(),
                             h.value(QStringLiteral("broker")).toString(),
                             h.value(QStringLiteral("average_price")).toDouble(),
                             h.value(QStringLiteral("quantity")).toDouble(),
                             h.value(QStringLiteral("current_price")).toDouble()});
    }
    for (const QJsonValue &entry : cash.toArray()) {
        const QJsonObject c = entry.toObject();
        if (!c.value(QStringLiteral("id")).isString())
            return false;
        const QJsonValue rate = c.value(QStringLiteral("fx_to_usd"));
        cashRows.append(CashRow{c.value(QStringLiteral("id")).toString(), c.value(QStringLiteral("broker")).toString(),
                                c.value(QStringLiteral("original_cash")).toDouble(),
                                c.value(QStringLiteral("currency")).toString(),
                                rate.isDouble() ? std::optional<double>(rate.toDouble()) : std::nullopt});
    }
    return true;
}

// Reference lists are kept exactly as the service sent them, in its own coding.
template <class Record> QJsonArray listValue(const QList<Record> &list)
{
    const auto encoded = encodeJSON(list);
    return encoded ? QJsonDocument::fromJson(*encoded).array() : QJsonArray();
}

template <class Record> QList<Record> readList(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isArray())
        return {};
    auto decoded = decodeJSON<QList<Record>>(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
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

QByteArray LocalCopy::encode(const LocalCopyData &data)
{
    const QJsonObject file{
        {QStringLiteral("format"), formatVersion},
        {QStringLiteral("version"), QString::fromLatin1(data.synced.version)},
        {QStringLiteral("synced"), tables(data.synced.holdings, data.synced.cashBalances)},
        {QStringLiteral("working"), tables(data.rows, data.cashRows)},
        {QStringLiteral("currencies"), listValue(data.currencies)},
        {QStringLiteral("languages"), listValue(data.languages)},
        {QStringLiteral("brokerages"), listValue(data.brokerages)},
        {QStringLiteral("gics_classifications"), listValue(data.gicsClassifications)},
        {QStringLiteral("transactions"), listValue(data.transactions)},
    };
    return QJsonDocument(file).toJson(QJsonDocument::Compact);
}

std::optional<LocalCopyData> LocalCopy::decode(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonObject file = document.object();
    if (file.value(QStringLiteral("format")).toInt() != formatVersion)
        return std::nullopt;
    LocalCopyData data;
    if (!readTables(file.value(QStringLiteral("synced")), data.synced.holdings, data.synced.cashBalances) ||
        !readTables(file.value(QStringLiteral("working")), data.rows, data.cashRows))
        return std::nullopt;
    data.synced.version = file.value(QStringLiteral("version")).toString().toLatin1();
    data.currencies = readList<CurrencyOption>(file, "currencies");
    data.languages = readList<LanguageOption>(file, "languages");
    data.brokerages = readList<BrokerageOption>(file, "brokerages");
    data.gicsClassifications = readList<GICSClassification>(file, "gics_classifications");
    data.transactions = readList<TransactionRecord>(file, "transactions");
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

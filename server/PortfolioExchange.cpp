#include "server/PortfolioStore.h"

#include "core/PortfolioRows.h"
#include "core/ledger/Ledger.h"
#include "server/LedgerBook.h"
#include "server/PortfolioSync.h"

#include <QDateTime>
#include <QSet>
#include <QSqlQuery>

namespace quillfern::server {
namespace {

constexpr auto backupFormat = "quillfern-backup";
constexpr int backupVersion = 1;

StoreError refused(QString message, std::optional<QString> field = std::nullopt)
{
    return StoreError{StoreError::Kind::BadRequest, std::move(message), std::move(field), {}};
}

// SQLite keeps 2 MB of pages per connection. A whole file of transactions dirties far more, mostly leaves of
// the id index scattered at random, and SQLite wrote each of them out to the WAL again and again as it made
// room. For the length of one import or restore the connection may keep more; the usual size frees it again.
class RoomyCache {
public:
    explicit RoomyCache(QSqlDatabase connection) : m_connection(std::move(connection))
    {
        m_sqlite = m_connection.driverName() == QLatin1String("QSQLITE");
        if (m_sqlite)
            QSqlQuery(m_connection).exec(QStringLiteral("PRAGMA cache_size=-131072"));
    }
    ~RoomyCache()
    {
        if (m_sqlite)
            QSqlQuery(m_connection).exec(QStringLiteral("PRAGMA cache_size=-2000"));
    }
    RoomyCache(const RoomyCache &) = delete;
    RoomyCache &operator=(const RoomyCache &) = delete;

private:
    QSqlDatabase m_connection;
    bool m_sqlite = false;
};

std::optional<double> optional(const Statement &row, int column)
{
    const QVariant value = row.value(column);
    return value.isNull() ? std::nullopt : std::optional(value.toDouble());
}

QVariant nullable(const std::optional<double> &value, QMetaType::Type type = QMetaType::Double)
{
    if (!value)
        return QVariant(QMetaType(type));
    return type == QMetaType::LongLong ? QVariant(qint64(*value)) : QVariant(*value);
}

// What makes a backup's rows unfit for the tables, named the way the file spells it.
std::optional<StoreError> backupProblem(const AccountBackup &backup)
{
    QSet<QString> ids;
    for (qsizetype i = 0; i < backup.transactions.size(); ++i) {
        const BackupTransaction &t = backup.transactions[i];
        const QString where = QStringLiteral("transactions[%1]").arg(i);
        if (t.id.isEmpty() || ids.contains(t.id))
            return refused(QStringLiteral("The backup's %1 has no id of its own.").arg(where), where + QStringLiteral(".id"));
        ids.insert(t.id);
        if (transactionTypeFromText(t.transactionType.toStdString()) == TransactionType::Unknown)
            return refused(QStringLiteral("The backup's %1 has the unknown type %2.").arg(where, t.transactionType),
                           where + QStringLiteral(".transaction_type"));
        if (!QDateTime::fromString(t.tradedAt, Qt::ISODateWithMs).isValid())
            return refused(QStringLiteral("The backup's %1 has no valid date.").arg(where), where + QStringLiteral(".traded_at"));
    }
    for (qsizetype i = 0; i < backup.ledgerRows.size(); ++i) {
        const QString &kind = backup.ledgerRows[i].kind;
        if (kind != QLatin1String("position") && kind != QLatin1String("cash"))
            return refused(QStringLiteral("The backup's ledger_rows[%1] is neither a position nor cash.").arg(i),
                           QStringLiteral("ledger_rows[%1].kind").arg(i));
    }
    for (qsizetype i = 0; i < backup.brokerages.size(); ++i) {
        const qsizetype length = backup.brokerages[i].name.trimmed().toUcs4().size();
        if (length < 2 || length > 64)
            return refused(QStringLiteral("The backup's brokerages[%1] needs a name of 2 to 64 characters.").arg(i),
                           QStringLiteral("brokerages[%1].name").arg(i));
    }
    return std::nullopt;
}

StoreOutcome clearAccount(QSqlDatabase connection, const QString &userID)
{
    for (const char *table : {"transactions", "ledger_rows", "request_keys", "transaction_imports"}) {
        const Statement gone(connection, QStringLiteral("DELETE FROM %1 WHERE user_id = ?").arg(QLatin1String(table)),
                             {userID});
        if (!gone.ok())
            return StoreError::unavailable(gone.error());
    }
    return std::nullopt;
}

StoreOutcome writeBackupLedger(QSqlDatabase connection, const QString &userID, const AccountBackup &backup)
{
    for (const BackupTransaction &t : backup.transactions) {
        const QDateTime tradedAt = QDateTime::fromString(t.tradedAt, Qt::ISODateWithMs);
        const Statement row(
            connection,
            QString::fromLatin1(kTradeInsert) + QString::fromLatin1(kTradeRow),
            QVariantList{t.broker,     t.market,     t.code,      t.transactionType, t.quantity,   t.price,
                         t.commission, t.currency,   t.sector,    t.subSector,       t.tradedAt,   tradedAt.toMSecsSinceEpoch(),
                         t.reason,     t.amount,     t.splitRatio, t.settlesInCash ? 1 : 0, t.fxToUsd, t.toMarket,
                         qint64(t.sequence), nullable(t.realizedGain), nullable(t.realizedGainUsd),
                         nullable(t.soldAgainst), userID, t.id});
        if (!row.ok())
            return StoreError::unavailable(row.error());
    }
    for (const BackupLedgerRow &r : backup.ledgerRows) {
        const Statement row(connection,
                            QStringLiteral("INSERT INTO ledger_rows (user_id, kind, broker, market, code, since_sequence, "
                                           "opening_quantity, opening_average, result_quantity, result_average) "
                                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                            QVariantList{userID, r.kind, r.broker, r.market, r.code,
                                         nullable(r.sinceSequence, QMetaType::LongLong), r.openingQuantity,
                                         r.openingAverage, nullable(r.resultQuantity), nullable(r.resultAverage)});
        if (!row.ok())
            return row.error().contains(QLatin1String("UNIQUE"), Qt::CaseInsensitive) ||
                           row.error().contains(QLatin1String("duplicate"), Qt::CaseInsensitive)
                       ? refused(QStringLiteral("The backup names one ledger row twice."), QStringLiteral("ledger_rows"))
                       : StoreError::unavailable(row.error());
    }
    return std::nullopt;
}

} // namespace

StoreResult<TransactionImportResult> PortfolioStore::importTransactions(
    const QString &userID, const TransactionImportRequest &request,
    const std::vector<std::pair<TransactionCreateInput, qint64>> &rows, qint64 nowSeconds)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the import"));
    QSqlDatabase connection = transaction.connection();
    const RoomyCache cache(connection);
    if (auto locked = lockUser(connection, userID))
        return *locked;
    {
        Statement earlier(connection,
                          QStringLiteral("SELECT imported, skipped FROM transaction_imports WHERE user_id = ? AND "
                                         "content_hash = ?"),
                          {userID, request.contentHash});
        if (!earlier.ok())
            return StoreError::unavailable(earlier.error());
        // Rolled back: the version stays, as nothing changed.
        if (earlier.next())
            return TransactionImportResult{double(earlier.integer(0)), double(earlier.integer(1)), true};
    }
    const auto counts = importLedger(connection, userID, rows, nowSeconds);
    if (!counts)
        return counts.error();
    const Statement noted(connection,
                          QStringLiteral("INSERT INTO transaction_imports (user_id, content_hash, file_name, "
                                         "imported_at, imported, skipped) VALUES (?, ?, ?, ?, ?, ?)"),
                          {userID, request.contentHash, request.fileName.value_or(QString()), nowSeconds,
                           counts->imported, counts->skipped});
    if (!noted.ok())
        return StoreError::unavailable(noted.error());
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the import did not commit"));
    return TransactionImportResult{double(counts->imported), double(counts->skipped), false};
}

StoreResult<AccountBackup> PortfolioStore::backup(const QString &userID, qint64 nowSeconds)
{
    // A write transaction, so that the rows of every table are read as of one moment.
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the backup"));
    QSqlDatabase connection = transaction.connection();
    AccountBackup backup;
    backup.format = QString::fromLatin1(backupFormat);
    backup.version = backupVersion;
    backup.createdAt = QDateTime::fromSecsSinceEpoch(nowSeconds, Qt::UTC).toString(Qt::ISODate);
    {
        Statement rows(connection,
                       QStringLiteral("SELECT id, market, sector, sub_sector, code, currency, broker, average_price, "
                                      "quantity, current_price, fx_to_usd, note FROM holdings WHERE user_id = ? "
                                      "ORDER BY position"),
                       {userID});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next())
            backup.holdings.append(ServerHolding{rows.text(0), rows.text(1), rows.text(2), rows.text(3),
                                                 rows.text(4), rows.text(5), rows.text(6), rows.number(7),
                                                 rows.number(8), rows.number(9), rows.number(10), rows.text(11)});
    }
    {
        Statement rows(connection,
                       QStringLiteral("SELECT id, broker, original_cash, currency, fx_to_usd, note FROM cash_balances "
                                      "WHERE user_id = ? ORDER BY position"),
                       {userID});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next())
            backup.cashBalances.append(ServerCashBalance{rows.text(0), rows.text(1), rows.number(2), rows.text(3),
                                                         rows.number(4), rows.text(5)});
    }
    {
        Statement rows(connection,
                       QStringLiteral("SELECT id, broker, market, code, transaction_type, quantity, price, commission, "
                                      "currency, sector, sub_sector, traded_at, reason, amount, split_ratio, "
                                      "settles_in_cash, fx_to_usd, to_market, realized_gain, realized_gain_usd, "
                                      "sold_against, sequence FROM transactions WHERE user_id = ? "
                                      "ORDER BY traded_at_ms, sequence"),
                       {userID});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next())
            backup.transactions.append(BackupTransaction{
                rows.text(0),   rows.text(1),   rows.text(2),   rows.text(3),         rows.text(4),
                rows.number(5), rows.number(6), rows.number(7), rows.text(8),         rows.text(9),
                rows.text(10),  rows.text(11),  rows.text(12),  rows.number(13),      rows.number(14),
                rows.integer(15) != 0,          rows.number(16), rows.number(17),     optional(rows, 18),
                optional(rows, 19),             optional(rows, 20), double(rows.integer(21))});
    }
    {
        Statement rows(connection,
                       QStringLiteral("SELECT kind, broker, market, code, since_sequence, opening_quantity, "
                                      "opening_average, result_quantity, result_average FROM ledger_rows "
                                      "WHERE user_id = ? ORDER BY kind, broker, market, code"),
                       {userID});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next()) {
            const QVariant since = rows.value(4);
            backup.ledgerRows.append(BackupLedgerRow{rows.text(0), rows.text(1), rows.text(2), rows.text(3),
                                                     since.isNull() ? std::nullopt
                                                                    : std::optional(double(since.toLongLong())),
                                                     rows.number(5), rows.number(6), optional(rows, 7),
                                                     optional(rows, 8)});
        }
    }
    {
        Statement rows(connection,
                       QStringLiteral("SELECT id, name, region FROM brokerages WHERE user_id = ? ORDER BY position, id"),
                       {userID});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next())
            backup.brokerages.append(BrokerageOption{rows.text(0), rows.text(1), rows.text(2), true});
    }
    return backup;
}

StoreOutcome PortfolioStore::backupHeaderProblem(const BackupHeader &header)
{
    if (header.format != QLatin1String(backupFormat))
        return refused(QStringLiteral("This file is not a Quillfern backup."), QStringLiteral("format"));
    if (header.version > backupVersion || header.version < 1)
        return refused(QStringLiteral("This backup was made in format %1; this service restores format %2 and "
                                      "older. Update the service to restore it.")
                           .arg(header.version)
                           .arg(backupVersion),
                       QStringLiteral("version"));
    return std::nullopt;
}

StoreResult<RestoreResult> PortfolioStore::restore(const QString &userID, const AccountBackup &backup,
                                                   qint64 nowSeconds)
{
    if (auto problem = backupHeaderProblem(BackupHeader{backup.format, backup.version}))
        return *problem;
    if (auto problem = backupProblem(backup))
        return *problem;
    QList<ServerHolding> holdings = backup.holdings;
    QList<ServerCashBalance> cash = backup.cashBalances;
    for (ServerHolding &row : holdings)
        if (!row.id || row.id->isEmpty())
            row.id = newRowID();
    for (ServerCashBalance &row : cash)
        if (!row.id || row.id->isEmpty())
            row.id = newRowID();

    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the restore"));
    QSqlDatabase connection = transaction.connection();
    const RoomyCache cache(connection);
    if (auto locked = lockUser(connection, userID))
        return *locked;
    if (auto failed = clearAccount(connection, userID))
        return *failed;
    const SavedRows holdingRowsToSave = holdingRows(holdings);
    const SavedRows cashRowsToSave = cashBalanceRows(cash);
    if (auto failed = syncPortfolioRows(connection, userID, holdingRowsToSave, cashRowsToSave))
        return failed->kind == StoreError::Kind::Unavailable
                   ? *failed
                   : refused(QStringLiteral("The backup's holdings or cash balances share an id."));
    if (auto failed = writeBackupLedger(connection, userID, backup))
        return *failed;

    // Custom brokerages get ids of their own: the ones in the file may belong to another account.
    {
        const Statement gone(connection, QStringLiteral("DELETE FROM brokerages WHERE user_id = ?"), {userID});
        if (!gone.ok())
            return StoreError::unavailable(gone.error());
    }
    QSet<QString> names;
    qint64 position = 0;
    for (const BrokerageOption &brokerage : backup.brokerages) {
        if (names.contains(brokerage.name.trimmed().toCaseFolded()))
            continue;
        names.insert(brokerage.name.trimmed().toCaseFolded());
        const Statement insert(connection,
                               QStringLiteral("INSERT INTO brokerages (id, user_id, name, region, position) "
                                              "VALUES (?, ?, ?, ?, ?)"),
                               {newRowID(), userID, brokerage.name.trimmed(), brokerage.region, ++position});
        if (!insert.ok())
            return StoreError::unavailable(insert.error());
    }

    // A ledger that cannot be replayed would refuse every later change: such a file is refused now.
    const auto ledger = readLedger(connection, userID);
    if (!ledger)
        return ledger.error();
    const LedgerReplay replay = replayLedger(ledger->opening, ledger->ledger, nowSeconds);
    if (replay.refusal)
        return refused(QStringLiteral("The backup's ledger cannot be replayed: a transaction on it is impossible."),
                       QStringLiteral("transactions"));
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the restore did not commit"));
    return RestoreResult{double(holdings.size()), double(cash.size()), double(backup.transactions.size()),
                         double(names.size())};
}

} // namespace quillfern::server

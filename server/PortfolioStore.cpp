#include "server/PortfolioStore.h"

#include "api/WireCoding.h"
#include "core/CurrencyCatalog.h"
#include "core/ledger/LedgerRecords.h"
#include "core/PortfolioRows.h"
#include "server/LedgerBook.h"
#include "server/PortfolioSync.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QSqlError>

#include <atomic>
#include <cmath>

namespace quillfern::server {

StoreError StoreError::unavailable(const QString &logged)
{
    qWarning("store: %s", qPrintable(logged));
    return StoreError{Kind::Unavailable, QStringLiteral("The portfolio service could not reach its database."), {}, {}};
}

namespace {

StoreError badRequest(QString message)
{
    return StoreError{StoreError::Kind::BadRequest, std::move(message), {}, {}};
}

// Fills in missing ids and refuses two entries that share one, which the table's key could not hold.
template <class Entry> std::optional<QString> assignIDs(QList<Entry> &entries, const char *what)
{
    QSet<QString> seen;
    for (Entry &entry : entries) {
        if (!entry.id || entry.id->isEmpty())
            entry.id = newRowID();
        if (seen.contains(*entry.id))
            return QStringLiteral("Two %1 share the id %2.").arg(QLatin1String(what), *entry.id);
        seen.insert(*entry.id);
    }
    return std::nullopt;
}

StoreError changedElsewhere()
{
    return StoreError{StoreError::Kind::PreconditionFailed,
                      QStringLiteral("The portfolio was changed elsewhere since it was loaded. Load it again and "
                                     "redo your changes."), {}, {}};
}

// What a keyed request asked for: a retry must ask for the same trade to be answered with the first one.
QString fingerprint(const TransactionCreateInput &input)
{
    const auto encoded = encodeJSON(input);
    return encoded ? QString::fromLatin1(QCryptographicHash::hash(*encoded, QCryptographicHash::Sha256).toHex())
                   : QString();
}

// A retry comes within minutes; after a day a key is forgotten, and its request would be booked anew.
constexpr qint64 keyLifetimeSeconds = 24 * 60 * 60;

const QString transactionColumns =
    QStringLiteral("id, broker, market, code, transaction_type, quantity, price, commission, currency, sector, "
                   "sub_sector, traded_at, reason, amount, split_ratio, settles_in_cash, realized_gain, "
                   "realized_gain_usd, fx_to_usd");

// The keys added with the newer types are sent where they mean something for the row's type.
TransactionRecord readTransaction(const Statement &row)
{
    TransactionRecord record{row.text(0),   row.text(1),   row.text(2),   row.text(3),  row.text(4),
                             row.number(5), row.number(6), row.number(7), row.text(8),  row.text(9),
                             row.text(10),  row.text(11),  row.text(12),  {},           {},
                             {},            {},            {},            {}};
    switch (transactionTypeFromText(record.transactionType.toStdString())) {
    case TransactionType::Buy:
    case TransactionType::Sell:
        record.settlesInCash = row.integer(15) != 0;
        break;
    case TransactionType::Split:
        record.splitRatio = row.number(14);
        break;
    case TransactionType::Dividend:
    case TransactionType::Interest:
    case TransactionType::Fee:
    case TransactionType::Tax:
    case TransactionType::Deposit:
    case TransactionType::Withdrawal:
        record.amount = row.number(13);
        break;
    default:
        break;
    }
    if (!row.value(16).isNull())
        record.realizedGain = row.number(16);
    if (!row.value(17).isNull())
        record.realizedGainUsd = row.number(17);
    if (row.number(18) > 0)
        record.fxToUsd = row.number(18);
    return record;
}

} // namespace

StoreOutcome PortfolioStore::lockUser(QSqlDatabase connection, const QString &userID)
{
    // Bumping the portfolio version also locks the user's row on PostgreSQL, so a trade and a portfolio save
    // of one user cannot interleave; on SQLite the IMMEDIATE transaction already serialises writers.
    const Statement bump(connection,
                         QStringLiteral("UPDATE users SET portfolio_version = portfolio_version + 1 WHERE id = ?"),
                         {userID});
    if (!bump.ok())
        return StoreError::unavailable(bump.error());
    return std::nullopt;
}

StoreResult<PortfolioResponse> PortfolioStore::portfolio(const QString &userID)
{
    QSqlDatabase connection = m_database.connection();
    PortfolioResponse response;
    Statement holdings(connection,
                       QStringLiteral("SELECT id, market, sector, sub_sector, code, currency, broker, average_price, "
                                      "quantity, current_price, fx_to_usd, note FROM holdings WHERE user_id = ? "
                                      "ORDER BY position"),
                       {userID});
    if (!holdings.ok())
        return StoreError::unavailable(holdings.error());
    while (holdings.next()) {
        response.holdings.append(ServerHolding{holdings.text(0), holdings.text(1), holdings.text(2), holdings.text(3),
                                               holdings.text(4), holdings.text(5), holdings.text(6), holdings.number(7),
                                               holdings.number(8), holdings.number(9), holdings.number(10),
                                               holdings.text(11)});
    }
    Statement cash(connection,
                   QStringLiteral("SELECT id, broker, original_cash, currency, fx_to_usd, note FROM cash_balances "
                                  "WHERE user_id = ? ORDER BY position"),
                   {userID});
    if (!cash.ok())
        return StoreError::unavailable(cash.error());
    while (cash.next()) {
        response.cashBalances.append(
            ServerCashBalance{cash.text(0), cash.text(1), cash.number(2), cash.text(3), cash.number(4), cash.text(5)});
    }
    return response;
}

StoreResult<VersionedPortfolio> PortfolioStore::replacePortfolio(const QString &userID, PortfolioPutRequest request,
                                                                 const std::optional<QList<qint64>> &expectedVersions)
{
    if (const auto problem = assignIDs(request.holdings, "holdings"))
        return badRequest(*problem);
    if (const auto problem = assignIDs(request.cashBalances, "cash balances"))
        return badRequest(*problem);
    if (expectedVersions && expectedVersions->isEmpty())
        return changedElsewhere();

    // Fingerprints are made before the save queues, so the shared transaction only compares them.
    const SavedRows holdings = holdingRows(request.holdings);
    const SavedRows cash = cashBalanceRows(request.cashBalances);

    // The version is compared in the same statement that bumps it: on PostgreSQL a second save waits for the
    // row lock and then compares with the committed version. The list is padded with repeats to a power of two,
    // so a few prepared statements serve every length.
    QString bumpSQL = QStringLiteral("UPDATE users SET portfolio_version = portfolio_version + 1 WHERE id = ?");
    QVariantList bumpValues{userID};
    if (expectedVersions) {
        qsizetype size = 1;
        while (size < expectedVersions->size())
            size *= 2;
        bumpSQL += QStringLiteral(" AND portfolio_version IN (%1)")
                       .arg(QStringList(size, QStringLiteral("?")).join(QLatin1Char(',')));
        for (qsizetype i = 0; i < size; ++i)
            bumpValues.append(expectedVersions->at(std::min(i, expectedVersions->size() - 1)));
    }
    bumpSQL += QStringLiteral(" RETURNING portfolio_version");

    qint64 version = 0;
    bool matched = true;
    const auto failed = m_writes.run(userID, [&](QSqlDatabase connection) -> StoreOutcome {
        // Bumping the version also locks the user's row on PostgreSQL, as lockUser does.
        Statement bump(connection, bumpSQL, bumpValues);
        if (!bump.ok())
            return StoreError::unavailable(bump.error());
        matched = bump.next();
        if (!matched && !expectedVersions)
            return StoreError::unavailable(QStringLiteral("no user row to save a portfolio for"));
        if (!matched)
            return std::nullopt; // nothing written, so the saves sharing this commit go ahead
        version = bump.integer(0);
        return syncPortfolioRows(connection, userID, holdings, cash);
    });
    if (failed)
        return *failed;
    if (!matched)
        return changedElsewhere();
    // What was written, in list order, is what is stored.
    return VersionedPortfolio{PortfolioResponse{std::move(request.holdings), std::move(request.cashBalances)}, version};
}

StoreResult<QList<TransactionRecord>> PortfolioStore::transactions(const QString &userID)
{
    Statement rows(m_database.connection(),
                   QStringLiteral("SELECT %1 FROM transactions WHERE user_id = ? "
                                  "ORDER BY traded_at_ms DESC, sequence DESC")
                       .arg(transactionColumns),
                   {userID});
    if (!rows.ok())
        return StoreError::unavailable(rows.error());
    QList<TransactionRecord> records;
    while (rows.next())
        records.append(readTransaction(rows));
    return records;
}

StoreResult<TransactionRecord> PortfolioStore::storedTransaction(QSqlDatabase connection, const QString &userID,
                                                                 const QString &id)
{
    Statement row(connection,
                  QStringLiteral("SELECT %1 FROM transactions WHERE user_id = ? AND id = ?").arg(transactionColumns),
                  {userID, id});
    if (!row.next())
        return StoreError::unavailable(row.ok() ? QStringLiteral("a request key names a missing trade") : row.error());
    return readTransaction(row);
}

std::optional<StoreResult<TransactionRecord>> PortfolioStore::claimKey(QSqlDatabase connection, const QString &userID,
                                                                       const RequestKey &key,
                                                                       const QString &fingerprint,
                                                                       const QString &tradeID)
{
    const Statement prune(connection, QStringLiteral("DELETE FROM request_keys WHERE user_id = ? AND created_at < ?"),
                          {userID, key.nowSeconds - keyLifetimeSeconds});
    if (!prune.ok())
        return StoreError::unavailable(prune.error());
    // The user's row is locked already, so a retry racing its first request waits here and then finds its key;
    // the table's key still stops a second booking should anything else let two through.
    const Statement claim(connection,
                          QStringLiteral("INSERT INTO request_keys (user_id, request_key, fingerprint, transaction_id, "
                                         "created_at) VALUES (?, ?, ?, ?, ?) ON CONFLICT (user_id, request_key) "
                                         "DO NOTHING"),
                          {userID, key.key, fingerprint, tradeID, key.nowSeconds});
    if (!claim.ok())
        return StoreError::unavailable(claim.error());
    if (claim.rowsAffected() == 1)
        return std::nullopt;

    QString heldFingerprint, heldTradeID;
    {
        Statement held(connection,
                       QStringLiteral("SELECT fingerprint, transaction_id FROM request_keys WHERE user_id = ? AND "
                                      "request_key = ?"),
                       {userID, key.key});
        if (!held.next())
            return StoreError::unavailable(held.ok() ? QStringLiteral("a claimed request key is missing")
                                                     : held.error());
        heldFingerprint = held.text(0);
        heldTradeID = held.text(1);
    }
    if (heldFingerprint != fingerprint)
        return StoreError{StoreError::Kind::Unprocessable,
                          QStringLiteral("This Idempotency-Key was already used for a different transaction. Send a "
                                         "new key with each new transaction."), {}, {}};
    return storedTransaction(connection, userID, heldTradeID);
}

StoreResult<TransactionRecord> PortfolioStore::addTransaction(const QString &userID,
                                                              const TransactionCreateInput &input, qint64 tradedAtMs,
                                                              const std::optional<RequestKey> &key)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the trade"));
    QSqlDatabase connection = transaction.connection();
    if (auto locked = lockUser(connection, userID))
        return *locked;
    const QString tradeID = newRowID();
    // A repeated key rolls back: the trade it answers was booked, and the version bumped, the first time.
    if (key) {
        if (auto earlier = claimKey(connection, userID, *key, fingerprint(input), tradeID))
            return std::move(*earlier);
    }
    const qint64 now = key ? key->nowSeconds : QDateTime::currentSecsSinceEpoch();
    if (auto failed = writeLedger(connection, userID, LedgerWrite{LedgerWrite::Kind::Create, tradeID, input, tradedAtMs},
                                  now))
        return *failed;
    // The answer is the row as stored, so that it and every later read of the ledger agree.
    auto stored = storedTransaction(connection, userID, tradeID);
    if (stored && !transaction.commit())
        return StoreError::unavailable(QStringLiteral("the trade did not commit"));
    return stored;
}

StoreResult<TransactionRecord> PortfolioStore::updateTransaction(const QString &userID, const QString &id,
                                                                 const TransactionCreateInput &input,
                                                                 qint64 tradedAtMs, qint64 nowSeconds)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the correction"));
    QSqlDatabase connection = transaction.connection();
    if (auto locked = lockUser(connection, userID))
        return *locked;
    if (auto failed = writeLedger(connection, userID, LedgerWrite{LedgerWrite::Kind::Update, id, input, tradedAtMs},
                                  nowSeconds))
        return *failed;
    auto stored = storedTransaction(connection, userID, id);
    if (stored && !transaction.commit())
        return StoreError::unavailable(QStringLiteral("the correction did not commit"));
    return stored;
}

StoreOutcome PortfolioStore::deleteTransaction(const QString &userID, const QString &id, qint64 nowSeconds)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the removal"));
    QSqlDatabase connection = transaction.connection();
    if (auto locked = lockUser(connection, userID))
        return *locked;
    if (auto failed = writeLedger(connection, userID, LedgerWrite{LedgerWrite::Kind::Delete, id, {}, 0}, nowSeconds))
        return *failed;
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the removal did not commit"));
    return std::nullopt;
}

StoreResult<QList<BrokerageOption>> PortfolioStore::brokerages(const QString &userID)
{
    Statement rows(
        m_database.connection(),
        QStringLiteral("SELECT id, name, region, user_id FROM brokerages WHERE user_id IS NULL OR user_id = ? "
                       "ORDER BY CASE WHEN user_id IS NULL THEN 0 ELSE 1 END, position, id"),
        {userID});
    if (!rows.ok())
        return StoreError::unavailable(rows.error());
    QList<BrokerageOption> options;
    while (rows.next())
        options.append(BrokerageOption{rows.text(0), rows.text(1), rows.text(2), !rows.value(3).isNull()});
    return options;
}

StoreResult<BrokerageOption> PortfolioStore::addBrokerage(const QString &userID, const QString &name)
{
    const QString trimmed = name.trimmed();
    const qsizetype length = trimmed.toUcs4().size();
    if (length < 2 || length > 64)
        return badRequest(QStringLiteral("A brokerage name must have 2 to 64 characters."));

    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin adding a brokerage"));
    // Two adds of one name must not both insert: the user's row is locked (SQLite's IMMEDIATE transaction
    // already serialises writers). The portfolio does not change, so its version stays, and a client's next
    // save is not turned away as a conflict.
    if (m_database.dialect() == Dialect::PostgreSQL) {
        const Statement lock(transaction.connection(), QStringLiteral("SELECT id FROM users WHERE id = ? FOR UPDATE"),
                             {userID});
        if (!lock.ok())
            return StoreError::unavailable(lock.error());
    }
    auto visible = brokerages(userID);
    if (!visible)
        return visible.error();
    qint64 position = 0;
    for (const BrokerageOption &option : *visible) {
        if (option.name.compare(trimmed, Qt::CaseInsensitive) == 0)
            return option;
        ++position;
    }
    const BrokerageOption created{newRowID(), trimmed, QString(), true};
    const Statement insert(
        transaction.connection(),
        QStringLiteral("INSERT INTO brokerages (id, user_id, name, region, position) VALUES (?, ?, ?, ?, ?)"),
        {created.id, userID, created.name, created.region, position + 100});
    if (!insert.ok())
        return StoreError::unavailable(insert.error());
    // Answered as stored, as the list will show it.
    Statement stored(transaction.connection(),
                     QStringLiteral("SELECT id, name, region FROM brokerages WHERE id = ? AND user_id = ?"),
                     {created.id, userID});
    if (!stored.next())
        return StoreError::unavailable(stored.ok() ? QStringLiteral("an added brokerage is missing") : stored.error());
    const BrokerageOption answer{stored.text(0), stored.text(1), stored.text(2), true};
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("adding a brokerage did not commit"));
    return answer;
}

StoreResult<QList<CurrencyOption>> PortfolioStore::currencies()
{
    Statement rows(m_database.connection(),
                   QStringLiteral("SELECT code, name, symbol, flag, fx_to_usd, rates_date FROM currencies "
                                  "ORDER BY position"));
    if (!rows.ok())
        return StoreError::unavailable(rows.error());
    QList<CurrencyOption> options;
    while (rows.next()) {
        // A seeded rate has no date; a refreshed one has the date of the reference rates it came from.
        const QString date = rows.text(5);
        const bool dated = QDate::fromString(date, Qt::ISODate).isValid();
        options.append(CurrencyOption{rows.text(0), rows.text(1), rows.text(2), rows.text(3), rows.number(4),
                                      dated ? std::optional(date) : std::nullopt});
    }
    return options;
}

StoreOutcome PortfolioStore::updateRates(const QHash<QString, double> &usdPerUnit, const QString &ratesDate)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin the rate update"));
    for (auto rate = usdPerUnit.cbegin(); rate != usdPerUnit.cend(); ++rate) {
        if (!(rate.value() > 0) || !std::isfinite(rate.value()))
            continue;
        const Statement update(transaction.connection(),
                               QStringLiteral("UPDATE currencies SET fx_to_usd = ?, rates_date = ? WHERE code = ?"),
                               {rate.value(), ratesDate, rate.key()});
        if (!update.ok())
            return StoreError::unavailable(update.error());
        // Every day's rates are kept, so that a past day can be valued at its own rates.
        const Statement keep(transaction.connection(),
                             QStringLiteral("INSERT INTO currency_rates (code, rates_date, usd_per_unit) VALUES (?, ?, ?) "
                                            "ON CONFLICT (code, rates_date) DO UPDATE SET usd_per_unit = excluded.usd_per_unit"),
                             {rate.key(), ratesDate, rate.value()});
        if (!keep.ok())
            return StoreError::unavailable(keep.error());
    }
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the rate update did not commit"));
    return std::nullopt;
}

StoreOutcome PortfolioStore::keepRateHistory(const QList<std::pair<QString, QHash<QString, double>>> &days)
{
    WriteTransaction transaction(m_database);
    if (!transaction.begun())
        return StoreError::unavailable(QStringLiteral("cannot begin keeping the rate history"));
    for (const auto &[day, usdPerUnit] : days) {
        for (auto rate = usdPerUnit.cbegin(); rate != usdPerUnit.cend(); ++rate) {
            if (!(rate.value() > 0) || !std::isfinite(rate.value()))
                continue;
            // A day already kept was kept from that day's own document, which stands.
            const Statement keep(transaction.connection(),
                                 QStringLiteral("INSERT INTO currency_rates (code, rates_date, usd_per_unit) "
                                                "VALUES (?, ?, ?) ON CONFLICT (code, rates_date) DO NOTHING"),
                                 {rate.key(), day, rate.value()});
            if (!keep.ok())
                return StoreError::unavailable(keep.error());
        }
    }
    if (!transaction.commit())
        return StoreError::unavailable(QStringLiteral("the rate history did not commit"));
    return std::nullopt;
}

StoreResult<qint64> PortfolioStore::keptRateDays()
{
    Statement days(m_database.connection(), QStringLiteral("SELECT COUNT(DISTINCT rates_date) FROM currency_rates"));
    if (!days.next())
        return StoreError::unavailable(days.error());
    return days.integer(0);
}

} // namespace quillfern::server

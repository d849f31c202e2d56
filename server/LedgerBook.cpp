#include "server/LedgerBookParts.h"

#include "core/PortfolioRows.h"
#include "core/TransactionIdentity.h"

#include <QScopeGuard>
#include <QSqlDriver>

#include <sqlite3.h>

namespace quillfern::server {
namespace ledgerbook {

StoreOutcome Book::load()
{
    {
        Statement rows(m_connection,
                       QStringLiteral("SELECT id, broker, market, code, currency, sector, sub_sector, quantity, "
                                      "average_price, position FROM holdings WHERE user_id = ? ORDER BY position"),
                       {m_user});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next()) {
            m_holdings.push_back(Row{rows.text(0), rows.text(1), rows.text(2), rows.text(3), rows.text(4),
                                     rows.text(5), rows.text(6), rows.number(7), rows.number(8)});
            m_lastPosition = std::max(m_lastPosition, rows.integer(9));
        }
    }
    {
        Statement rows(m_connection,
                       QStringLiteral("SELECT id, broker, currency, original_cash, position FROM cash_balances "
                                      "WHERE user_id = ? ORDER BY position"),
                       {m_user});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next()) {
            m_cash.push_back(Row{rows.text(0), rows.text(1), {}, {}, rows.text(2), {}, {}, rows.number(3), 0});
            m_lastCashPosition = std::max(m_lastCashPosition, rows.integer(4));
        }
    }
    {
        Statement rows(m_connection,
                       QStringLiteral("SELECT kind, broker, market, code, since_sequence, opening_quantity, "
                                      "opening_average, result_quantity, result_average FROM ledger_rows "
                                      "WHERE user_id = ?"),
                       {m_user});
        if (!rows.ok())
            return StoreError::unavailable(rows.error());
        while (rows.next()) {
            Mark mark;
            if (!rows.value(4).isNull())
                mark.since = rows.integer(4);
            mark.openingQuantity = rows.number(5);
            mark.openingAverage = rows.number(6);
            mark.resultQuantity = optionalNumber(rows, 7);
            mark.resultAverage = optionalNumber(rows, 8);
            const Key key{rows.text(1).toStdString(), rows.text(2).toStdString(), rows.text(3).toStdString()};
            (rows.text(0) == QLatin1String("cash") ? m_cashMarks : m_positionMarks)[key] = mark;
        }
    }
    if (readTradesDirectly())
        return std::nullopt;
    m_trades.clear();
    m_latestEntry = INT64_MIN;
    Statement rows(m_connection, QString::fromLatin1(kTradeQuery), {m_user});
    if (!rows.ok())
        return StoreError::unavailable(rows.error());
    while (rows.next()) {
        Trade t{rows.text(0),   rows.text(1),   rows.text(2),   rows.text(3),   rows.text(4),
                rows.text(8),   {},             {},             {},             {},
                rows.number(5), rows.number(6), rows.number(7), rows.number(11), rows.number(12),
                rows.number(14), rows.number(15), rows.integer(13) != 0, rows.integer(9), rows.integer(10),
                optionalNumber(rows, 16), optionalNumber(rows, 17), optionalNumber(rows, 18), {}, {}, {}};
        take(std::move(t));
    }
    return std::nullopt;
}

void Book::take(Trade &&t)
{
    m_latestEntry = std::max(m_latestEntry, t.sequence);
    t.prepare();
    m_trades.push_back(std::move(t));
}

// On SQLite the ledger is read through the connection's own handle: Qt's driver makes a variant and a
// UTF-16 copy of every cell, which took most of a correction's time on a long ledger.
sqlite3 *sqliteHandle(const QSqlDatabase &connection)
{
    const QVariant handle = connection.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool Book::readTradesDirectly()
{
    sqlite3 *db = sqliteHandle(m_connection);
    sqlite3_stmt *statement = nullptr;
    if (!db || sqlite3_prepare_v2(db, kTradeQuery, -1, &statement, nullptr) != SQLITE_OK)
        return false;
    const auto finish = qScopeGuard([statement] { sqlite3_finalize(statement); });
    const QByteArray user = m_user.toUtf8();
    if (sqlite3_bind_text(statement, 1, user.constData(), int(user.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        return false;
    const auto text = [statement](int column) {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    };
    const auto number = [statement](int column) { return sqlite3_column_double(statement, column); };
    const auto optional = [statement](int column) {
        return sqlite3_column_type(statement, column) == SQLITE_NULL
                   ? std::nullopt
                   : std::optional(sqlite3_column_double(statement, column));
    };
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        take(Trade{text(0),   text(1),   text(2),   text(3),   text(4),   text(8),  {},  {},  {},  {},
                             number(5), number(6), number(7), number(11), number(12), number(14), number(15),
                             sqlite3_column_int64(statement, 13) != 0, sqlite3_column_int64(statement, 9),
                             sqlite3_column_int64(statement, 10), optional(16), optional(17), optional(18), {}, {},
                             {}});
    }
    return step == SQLITE_DONE; // else the driver's way reads it again, and reports what fails
}

std::map<Key, Current> Book::currentRows(const std::vector<Row> &rows, bool cash) const
{
    std::map<Key, Current> current;
    for (const Row &row : rows) {
        Current &entry = current[cash ? cashKey(row.broker, row.currency) : positionKey(row.broker, row.market, row.code)];
        const double quantity = entry.quantity + row.quantity;
        if (!cash && quantity != 0)
            entry.average = (entry.quantity * entry.average + row.quantity * row.average) / quantity;
        else if (entry.rows.empty())
            entry.average = row.average;
        entry.quantity = quantity;
        entry.rows.push_back(row);
    }
    return current;
}

// A row that differs from what the last replay left there was typed since: it becomes the row's opening,
// counting every transaction entered so far. So does a row the user removed, and, once, a row the ledger
// reached before the book kept marks.
void Book::noticeTypedRows()
{
    const auto notice = [this](std::map<Key, Mark> &marks, const std::map<Key, Current> &current,
                               const std::vector<Key> &touched) {
        for (const auto &[key, row] : current) {
            Mark &mark = marks[key];
            if (mark.resultQuantity && same(*mark.resultQuantity, row.quantity) &&
                same(mark.resultAverage.value_or(0), row.average))
                continue;
            mark.since = m_latestEntry;
            mark.openingQuantity = row.quantity;
            mark.openingAverage = row.average;
            mark.dirty = true;
        }
        for (auto &[key, mark] : marks) {
            if (!mark.resultQuantity || current.count(key))
                continue;
            mark.since = m_latestEntry;
            mark.openingQuantity = mark.openingAverage = 0;
            mark.resultQuantity.reset();
            mark.resultAverage.reset();
            mark.dirty = true;
        }
        for (const Key &key : touched) {
            if (marks.count(key))
                continue;
            marks[key] = Mark{m_latestEntry, 0, 0, std::nullopt, std::nullopt, true};
        }
    };
    std::vector<Key> positions, cash;
    for (const Trade &t : m_trades) {
        if (t.movesShares())
            positions.push_back(t.positionAt);
        if (t.movesCash())
            cash.push_back(t.cashAt);
    }
    notice(m_positionMarks, currentRows(m_holdings, false), positions);
    notice(m_cashMarks, currentRows(m_cash, true), cash);
}

Trade Book::tradeFrom(const QString &id, const TransactionCreateInput &input, qint64 tradedAtMs, qint64 sequence)
{
    Trade t;
    t.id = id;
    t.broker = input.broker.trimmed();
    t.market = input.market.trimmed();
    t.code = input.code.trimmed();
    t.type = input.transactionType;
    t.currency = input.currency.trimmed().toUpper();
    t.sector = input.sector;
    t.subSector = input.subSector;
    t.tradedAt = input.tradedAt;
    t.reason = input.reason;
    t.quantity = input.quantity;
    t.price = input.price;
    t.commission = input.commission;
    t.amount = input.amount.value_or(0);
    t.splitRatio = input.splitRatio.value_or(0);
    t.settles = input.settlesInCash.value_or(true);
    t.tradedAtMs = tradedAtMs;
    t.sequence = sequence;
    t.prepare();
    const QString day = dayOf(tradedAtMs);
    t.fxToUsd = usdPerUnit(t.currency, day);
    if (t.movesShares() && !t.market.isEmpty()) {
        const QString marketCurrency = CurrencyCatalog::currency(t.market);
        if (marketCurrency != t.currency)
            t.toMarket = t.fxToUsd / usdPerUnit(marketCurrency, day);
    }
    return t;
}

// An import books thousands of trades on a few hundred days in a few currencies.
double Book::usdPerUnit(const QString &currency, const QString &day)
{
    const QString key = currency + QLatin1Char(' ') + day;
    const auto known = m_rates.constFind(key);
    if (known != m_rates.constEnd())
        return *known;
    const double rate = usdPerUnitOn(m_connection, currency, day);
    m_rates.insert(key, rate);
    return rate;
}

// The latest trade that moves a position's shares or a cash row: it names a row the replay creates.
const Trade *Book::latestTrade(const Key &key, bool cash)
{
    auto &latest = cash ? m_latestCash : m_latestShares;
    if (latest.empty()) {
        for (const Trade &t : m_trades) {
            if (!cash && t.movesShares())
                latest[t.positionAt] = &t;
            else if (cash && t.movesCash())
                latest[t.cashAt] = &t;
        }
    }
    const auto found = latest.find(key);
    return found == latest.end() ? nullptr : found->second;
}

StoreOutcome Book::change(const LedgerWrite &write)
{
    const auto found = std::find_if(m_trades.begin(), m_trades.end(), [&](const Trade &t) { return t.id == write.id; });
    if (write.kind != LedgerWrite::Kind::Create && found == m_trades.end())
        return StoreError{StoreError::Kind::NotFound, QStringLiteral("There is no such transaction."), {}, {}};
    if (write.kind == LedgerWrite::Kind::Delete) {
        m_trades.erase(found);
        return std::nullopt;
    }
    const qint64 sequence = write.kind == LedgerWrite::Kind::Create ? nextSequence() : found->sequence;
    Trade t = tradeFrom(write.id, write.input, write.tradedAtMs, sequence);
    if (write.kind == LedgerWrite::Kind::Update)
        m_trades.erase(found);

    // A holding the trade opens takes its classification from the same code held anywhere; without one the
    // user must choose it.
    const TransactionType type = t.kind();
    if ((type == TransactionType::Buy || type == TransactionType::TransferIn) && t.sector.trimmed().isEmpty()) {
        const std::string market = codeKey(t.market), code = codeKey(t.code);
        const bool classified = std::any_of(m_holdings.begin(), m_holdings.end(), [&](const Row &row) {
            return codeKey(row.market) == market && codeKey(row.code) == code && !row.sector.isEmpty();
        });
        if (!classified)
            return StoreError{StoreError::Kind::BadRequest,
                              QStringLiteral("Choose a sector for %1: no broker holds it yet.").arg(t.code),
                              QStringLiteral("sector"), {}};
    }
    const auto place = std::upper_bound(m_trades.begin(), m_trades.end(), t, [](const Trade &a, const Trade &b) {
        return std::tie(a.tradedAtMs, a.sequence) < std::tie(b.tradedAtMs, b.sequence);
    });
    m_trades.insert(place, std::move(t));
    return std::nullopt;
}

StoreError Book::refusal(const LedgerRefusal &refused, const LedgerWrite &write) const
{
    const Trade *trade = refused.index < m_fed.size() ? &m_trades[std::size_t(m_fed[refused.index])] : nullptr;
    const QString field = QString::fromLatin1(fieldName(refused.field).data(), qsizetype(fieldName(refused.field).size()));
    if (!trade)
        return StoreError{StoreError::Kind::BadRequest, QStringLiteral("The ledger cannot be replayed."), field, {}};
    QString what;
    switch (refused.reason) {
    case RefusalReason::BeyondHeld:
        what = QStringLiteral("%1 %2 of %3 at %4 on %5 is more than the position held then.")
                   .arg(trade->type, describe(trade->quantity), trade->code, trade->broker, dayOf(trade->tradedAtMs));
        break;
    case RefusalReason::NotHeld:
        what = trade->kind() == TransactionType::Split
                   ? QStringLiteral("No broker holds %1 on %2, so there is nothing to split.")
                         .arg(trade->code, dayOf(trade->tradedAtMs))
                   : QStringLiteral("%1 is not held at %2 on %3.").arg(trade->code, trade->broker, dayOf(trade->tradedAtMs));
        break;
    case RefusalReason::InFuture:
        what = QStringLiteral("The date %1 is in the future: a transaction may be dated at most a day ahead.")
                   .arg(dayOf(trade->tradedAtMs));
        break;
    case RefusalReason::CurrencyMismatch:
        what = QStringLiteral("The currency %1 is not the currency the position is kept in.").arg(trade->currency);
        break;
    case RefusalReason::OutOfRange:
        what = QStringLiteral("The figures of this transaction are too large to keep.");
        break;
    default:
        what = QStringLiteral("The %1 of this transaction is not valid.").arg(field);
        break;
    }
    if (trade->id != write.id)
        what = QStringLiteral("This change would make a later transaction impossible: %1").arg(what);
    return StoreError{StoreError::Kind::BadRequest, what, field, {}};
}

std::pair<LedgerOpening, std::vector<LedgerTransaction>> Book::replayInput()
{
    LedgerOpening opening;
    for (const auto &[key, mark] : m_positionMarks) {
        if (mark.since)
            opening.positions.push_back(OpeningPosition{std::get<0>(key), std::get<1>(key), std::get<2>(key),
                                                        CurrencyCatalog::currency(QString::fromStdString(std::get<1>(key))).toStdString(),
                                                        mark.openingQuantity, mark.openingAverage, *mark.since});
    }
    for (const auto &[key, mark] : m_cashMarks) {
        if (mark.since)
            opening.cash.push_back(OpeningCash{std::get<0>(key), std::get<2>(key), mark.openingQuantity, *mark.since});
    }

    std::vector<LedgerTransaction> ledger;
    ledger.reserve(m_trades.size() + 8);
    m_fed.clear();
    for (std::size_t i = 0; i < m_trades.size(); ++i) {
        const Trade &t = m_trades[i];
        LedgerTransaction row{t.id.toStdString(), t.type.toStdString(), std::get<0>(t.positionAt),
                              std::get<1>(t.positionAt), std::get<2>(t.positionAt), std::get<2>(t.cashAt), t.quantity, t.price, t.commission, t.amount,
                              t.splitRatio, t.settles, t.tradedAtMs / 1000 - (t.tradedAtMs % 1000 < 0 ? 1 : 0),
                              t.fxToUsd, t.sequence};
        // Positions are kept in the market's currency: a trade in another one moves the position at the day's
        // rate and the cash in its own currency.
        const bool converted = t.movesShares() && t.toMarket != 1;
        if (converted) {
            row.currency = codeKey(CurrencyCatalog::currency(t.market));
            row.price = t.price * t.toMarket;
            row.commission = t.commission * t.toMarket;
            row.fxToUsd = t.fxToUsd / t.toMarket;
            row.settlesInCash = false;
        }
        ledger.push_back(row);
        m_fed.push_back(int(i));
        const TransactionType type = t.kind();
        if (converted && t.settles && (type == TransactionType::Buy || type == TransactionType::Sell)) {
            const double gross = t.quantity * t.price;
            // Without an id: the cash side of a trade, which no one moved in or out of the account.
            LedgerTransaction cash{std::string(), type == TransactionType::Buy ? "WITHDRAWAL" : "DEPOSIT",
                                   std::get<0>(t.cashAt), {}, {}, std::get<2>(t.cashAt), 0, 0, 0,
                                   type == TransactionType::Buy ? gross + t.commission : gross - t.commission, 0,
                                   true, row.tradedAt, t.fxToUsd, t.sequence};
            if (cash.amount < 0) { // a sale whose commission exceeds it takes cash
                cash.type = "WITHDRAWAL";
                cash.amount = -cash.amount;
            }
            ledger.push_back(cash);
            m_fed.push_back(int(i));
        }
    }
    return {std::move(opening), std::move(ledger)};
}

StoreResult<LedgerInput> Book::read()
{
    if (auto failed = load())
        return *failed;
    noticeTypedRows();
    auto [opening, ledger] = replayInput();
    return LedgerInput{std::move(opening), std::move(ledger)};
}

StoreOutcome Book::run(const LedgerWrite &write)
{
    if (auto failed = load())
        return failed;
    noticeTypedRows();
    if (auto failed = change(write))
        return failed;

    const auto [opening, ledger] = replayInput();
    const LedgerReplay replay = replayLedger(opening, ledger, m_now);
    if (replay.refusal)
        return refusal(*replay.refusal, write);
    if (auto failed = writeTrade(write))
        return failed;
    return writeBack(replay.state.report());
}

StoreResult<LedgerImportCounts> Book::runImport(const std::vector<std::pair<TransactionCreateInput, qint64>> &rows)
{
    if (auto failed = load())
        return *failed;
    noticeTypedRows();

    QSet<QString> booked;
    booked.reserve(qsizetype(m_trades.size()));
    for (const Trade &t : m_trades) {
        TransactionCreateInput stored{t.broker, t.market, t.code, t.type, t.quantity, t.price, t.commission,
                                      t.currency, {}, {}, QDateTime::fromMSecsSinceEpoch(t.tradedAtMs, Qt::UTC).toString(Qt::ISODate),
                                      {}, t.amount, {}, {}};
        booked.insert(duplicateKey(stored));
    }
    QSet<QString> classified;
    for (const Row &row : m_holdings) {
        if (!row.sector.isEmpty())
            classified.insert(row.market.trimmed().toUpper() + QLatin1Char(':') + row.code.trimmed().toUpper());
    }

    LedgerImportCounts counts;
    // Entries of one import follow each other in the file's order, after everything entered before.
    const qint64 first = nextSequence();
    m_trades.reserve(m_trades.size() + rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &[input, tradedAtMs] = rows[i];
        if (booked.contains(duplicateKey(input))) {
            ++counts.skipped;
            continue;
        }
        const TransactionType type = transactionTypeFromText(input.transactionType.toStdString());
        const QString listing = input.market.trimmed().toUpper() + QLatin1Char(':') + input.code.trimmed().toUpper();
        if (!input.sector.trimmed().isEmpty())
            classified.insert(listing);
        else if ((type == TransactionType::Buy || type == TransactionType::TransferIn) && !classified.contains(listing))
            return StoreError{StoreError::Kind::BadRequest,
                              QStringLiteral("Choose a sector for %1: no broker holds it yet.").arg(input.code.trimmed()),
                              QStringLiteral("sector"), int(i)};
        Trade t = tradeFrom(newRowID(), input, tradedAtMs, first + qint64(i));
        m_imported.insert(t.id, int(i));
        m_trades.push_back(std::move(t));
        ++counts.imported;
    }
    if (counts.imported == 0)
        return counts;
    std::stable_sort(m_trades.begin(), m_trades.end(), [](const Trade &a, const Trade &b) {
        return std::tie(a.tradedAtMs, a.sequence) < std::tie(b.tradedAtMs, b.sequence);
    });

    const auto [opening, ledger] = replayInput();
    const LedgerReplay replay = replayLedger(opening, ledger, m_now);
    if (replay.refusal) {
        const Trade *trade = replay.refusal->index < m_fed.size() ? &m_trades[std::size_t(m_fed[replay.refusal->index])]
                                                                 : nullptr;
        const bool imported = trade && m_imported.contains(trade->id);
        StoreError refused = refusal(*replay.refusal, LedgerWrite{LedgerWrite::Kind::Create,
                                                                  imported ? trade->id : QString(), {}, 0});
        if (imported)
            refused.row = m_imported.value(trade->id);
        return refused;
    }
    const LedgerReport report = replay.state.report();
    // Gains first: those of the new trades are kept on them and written with them.
    if (auto failed = writeGains(report))
        return *failed;
    std::vector<const Trade *> imported;
    imported.reserve(std::size_t(m_imported.size()));
    for (const Trade &t : m_trades) {
        if (m_imported.contains(t.id))
            imported.push_back(&t);
    }
    if (auto failed = insertTrades(imported))
        return *failed;
    if (auto failed = writePositions(report))
        return *failed;
    if (auto failed = writeCash(report))
        return *failed;
    if (auto failed = writeMarks())
        return *failed;
    return counts;
}

} // namespace ledgerbook

using ledgerbook::Book;

double usdPerUnitOn(QSqlDatabase connection, const QString &currency, const QString &day)
{
    if (currency == QLatin1String("USD"))
        return 1.0;
    {
        Statement published(connection,
                            QStringLiteral("SELECT usd_per_unit FROM currency_rates WHERE code = ? AND rates_date <= ? "
                                           "ORDER BY rates_date DESC LIMIT 1"),
                            {currency, day});
        if (published.next() && published.number(0) > 0)
            return published.number(0);
    }
    Statement current(connection, QStringLiteral("SELECT fx_to_usd FROM currencies WHERE code = ?"), {currency});
    if (current.next() && current.number(0) > 0)
        return current.number(0);
    const double known = CurrencyCatalog::fxToUSD(currency);
    return known > 0 ? known : 1.0;
}

StoreResult<LedgerImportCounts> importLedger(QSqlDatabase connection, const QString &userID,
                                             const std::vector<std::pair<TransactionCreateInput, qint64>> &rows,
                                             qint64 nowSeconds)
{
    Book book(std::move(connection), userID, nowSeconds);
    return book.runImport(rows);
}

StoreResult<LedgerInput> readLedger(QSqlDatabase connection, const QString &userID)
{
    Book book(std::move(connection), userID, QDateTime::currentSecsSinceEpoch());
    return book.read();
}

StoreOutcome writeLedger(QSqlDatabase connection, const QString &userID, const LedgerWrite &write, qint64 nowSeconds)
{
    Book book(std::move(connection), userID, nowSeconds);
    return book.run(write);
}

} // namespace quillfern::server

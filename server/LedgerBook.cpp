#include "server/LedgerBook.h"

#include "core/CurrencyCatalog.h"
#include "core/PortfolioRows.h"
#include "core/ledger/Ledger.h"
#include "server/Database.h"

#include <QDateTime>
#include <QHash>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <atomic>
#include <cmath>
#include <map>

namespace quillfern::server {
namespace {

using Key = std::tuple<std::string, std::string, std::string>; // broker, market, code; cash: broker, "", currency

// Keys compare as the holdings table's rows do: spaces around ignored, broker in any case, codes in capitals.
std::string brokerKey(const QString &broker)
{
    return broker.trimmed().toCaseFolded().toStdString();
}

std::string codeKey(const QString &code)
{
    return code.trimmed().toUpper().toStdString();
}

Key positionKey(const QString &broker, const QString &market, const QString &code)
{
    return {brokerKey(broker), codeKey(market), codeKey(code)};
}

Key cashKey(const QString &broker, const QString &currency)
{
    return {brokerKey(broker), std::string(), codeKey(currency)};
}

bool same(double a, double b)
{
    return a == b || std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b));
}

// Orders transactions entered at the same moment; shared with every booking of this process.
qint64 nextSequence()
{
    static std::atomic<qint64> counter{0};
    return QDateTime::currentMSecsSinceEpoch() * 1000 + counter.fetch_add(1) % 1000;
}

struct Trade {
    QString id, broker, market, code, type, currency;
    QString sector, subSector, tradedAt, reason; // only of the transaction being written
    double quantity = 0, price = 0, commission = 0, amount = 0, splitRatio = 0;
    double fxToUsd = 0;  // US dollars per unit of currency on the day
    double toMarket = 1; // units of the market's currency per unit of currency on the day
    bool settles = true;
    qint64 tradedAtMs = 0, sequence = 0;
    std::optional<double> gain, gainUsd, soldAgainst;
    // Worked out once by prepare(), since a replay asks for them of every row many times.
    TransactionType typed = TransactionType::Unknown;
    Key positionAt, cashAt;

    void prepare()
    {
        // A ledger names a few brokers, codes and types thousands of times over.
        thread_local QHash<QString, std::string> brokers, codes;
        thread_local QHash<QString, TransactionType> types;
        const auto cached = [](QHash<QString, std::string> &seen, const QString &text, auto normalise) {
            auto found = seen.constFind(text);
            if (found == seen.constEnd()) {
                if (seen.size() > 4096)
                    seen.clear();
                found = seen.insert(text, normalise(text));
            }
            return *found;
        };
        auto known = types.constFind(type);
        if (known == types.constEnd())
            known = types.insert(type, transactionTypeFromText(type.toStdString()));
        typed = *known;
        const std::string brokerAt = cached(brokers, broker, brokerKey);
        positionAt = {brokerAt, cached(codes, market, codeKey), cached(codes, code, codeKey)};
        cashAt = {brokerAt, std::string(), cached(codes, currency, codeKey)};
    }
    TransactionType kind() const { return typed; }
    bool movesCash() const
    {
        const TransactionType t = kind();
        return t == TransactionType::Buy || t == TransactionType::Sell ? settles : !movesShares() && t != TransactionType::Split;
    }
    bool movesShares() const
    {
        const TransactionType t = kind();
        return t == TransactionType::Buy || t == TransactionType::Sell || t == TransactionType::TransferIn ||
               t == TransactionType::TransferOut;
    }
};

struct Row {
    QString id;
    QString broker, market, code, currency, sector, subSector;
    double quantity = 0, average = 0; // cash: quantity is the balance
};

// What the book knows of one position or cash row: the state the user last typed, from when, and what the
// last replay left in the table.
struct Mark {
    std::optional<qint64> since; // no opening: the row exists only through the ledger
    double openingQuantity = 0, openingAverage = 0;
    std::optional<double> resultQuantity, resultAverage; // none: the last replay left no row
    bool dirty = false;
};

struct Current {
    std::vector<Row> rows;
    double quantity = 0, average = 0;
};

std::optional<double> optionalNumber(const Statement &row, int column)
{
    const QVariant value = row.value(column);
    return value.isNull() ? std::nullopt : std::optional(value.toDouble());
}

QVariant nullable(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

QString dayOf(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).date().toString(Qt::ISODate);
}

QString describe(double number)
{
    return QString::number(number, 'g', 12);
}

// Only what a replay needs: the whole ledger is read on every write.
constexpr const char *kTradeQuery =
    "SELECT id, broker, market, code, transaction_type, quantity, price, commission, currency, traded_at_ms, "
    "sequence, amount, split_ratio, settles_in_cash, fx_to_usd, to_market, realized_gain, realized_gain_usd, "
    "sold_against FROM transactions WHERE user_id = ? ORDER BY traded_at_ms, sequence";

class Book {
public:
    Book(QSqlDatabase connection, QString userID, qint64 now)
        : m_connection(std::move(connection)), m_user(std::move(userID)), m_now(now)
    {
    }

    StoreOutcome run(const LedgerWrite &write);
    StoreResult<LedgerInput> read();

private:
    StoreOutcome load();
    std::pair<LedgerOpening, std::vector<LedgerTransaction>> replayInput();
    bool readTradesDirectly();
    void take(Trade &&t);
    void noticeTypedRows();
    StoreOutcome change(const LedgerWrite &write);
    StoreOutcome writeBack(const LedgerReport &report);
    StoreOutcome writePositions(const LedgerReport &report);
    StoreOutcome writeCash(const LedgerReport &report);
    StoreOutcome writeMarks();
    StoreOutcome writeGains(const LedgerReport &report);
    StoreOutcome writeTrade(const LedgerWrite &write);
    StoreError refusal(const LedgerRefusal &refused, const LedgerWrite &write) const;

    Trade tradeFrom(const QString &id, const TransactionCreateInput &input, qint64 tradedAtMs, qint64 sequence);
    std::map<Key, Current> currentRows(const std::vector<Row> &rows, bool cash) const;

    QSqlDatabase m_connection;
    QString m_user;
    qint64 m_now;
    std::vector<Row> m_holdings, m_cash;
    qint64 m_lastPosition = -1, m_lastCashPosition = -1;
    std::map<Key, Mark> m_positionMarks, m_cashMarks;
    std::vector<Trade> m_trades; // by date, then entry
    qint64 m_latestEntry = INT64_MIN;
    std::vector<int> m_fed; // for each row given to the replay, the trade it stands for
};

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
bool Book::readTradesDirectly()
{
    const QVariant handle = m_connection.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *db = *static_cast<sqlite3 *const *>(handle.constData());
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
    t.fxToUsd = usdPerUnitOn(m_connection, t.currency, day);
    if (t.movesShares() && !t.market.isEmpty()) {
        const QString marketCurrency = CurrencyCatalog::currency(t.market);
        if (marketCurrency != t.currency)
            t.toMarket = t.fxToUsd / usdPerUnitOn(m_connection, marketCurrency, day);
    }
    return t;
}

StoreOutcome Book::change(const LedgerWrite &write)
{
    const auto found = std::find_if(m_trades.begin(), m_trades.end(), [&](const Trade &t) { return t.id == write.id; });
    if (write.kind != LedgerWrite::Kind::Create && found == m_trades.end())
        return StoreError{StoreError::Kind::NotFound, QStringLiteral("There is no such transaction."), {}};
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
                              QStringLiteral("sector")};
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
        return StoreError{StoreError::Kind::BadRequest, QStringLiteral("The ledger cannot be replayed."), field};
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
    return StoreError{StoreError::Kind::BadRequest, what, field};
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

StoreOutcome Book::writeBack(const LedgerReport &report)
{
    if (auto failed = writePositions(report))
        return failed;
    if (auto failed = writeCash(report))
        return failed;
    if (auto failed = writeGains(report))
        return failed;
    return writeMarks();
}

StoreOutcome Book::writePositions(const LedgerReport &report)
{
    std::map<Key, const LedgerPosition *> replayed;
    for (const LedgerPosition &position : report.positions) {
        replayed[{position.broker, position.market, position.code}] = &position;
        m_positionMarks.try_emplace({position.broker, position.market, position.code});
    }
    std::map<Key, Current> current = currentRows(m_holdings, false);

    const auto remove = [this](const Row &row) -> StoreOutcome {
        const Statement gone(m_connection, QStringLiteral("DELETE FROM holdings WHERE user_id = ? AND id = ?"),
                             {m_user, row.id});
        return gone.ok() ? StoreOutcome() : StoreError::unavailable(gone.error());
    };
    for (auto &[key, mark] : m_positionMarks) {
        const auto found = replayed.find(key);
        const auto rows = current.find(key);
        if (found == replayed.end()) {
            if (rows == current.end()) {
                mark.dirty = mark.dirty || mark.resultQuantity.has_value();
                mark.resultQuantity.reset();
                mark.resultAverage.reset();
                continue;
            }
            // A row typed with nothing in it stays; one the ledger emptied goes, and lives on in the ledger.
            if (mark.since && mark.openingQuantity == 0 && same(rows->second.quantity, 0)) {
                mark.dirty = mark.dirty || !mark.resultQuantity || *mark.resultQuantity != rows->second.quantity ||
                             mark.resultAverage.value_or(0) != rows->second.average;
                mark.resultQuantity = rows->second.quantity;
                mark.resultAverage = rows->second.average;
                continue;
            }
            for (const Row &row : rows->second.rows) {
                if (auto failed = remove(row))
                    return failed;
            }
            mark.resultQuantity.reset();
            mark.resultAverage.reset();
            mark.dirty = true;
            continue;
        }
        const LedgerPosition &position = *found->second;
        if (rows != current.end()) {
            const Row &first = rows->second.rows.front();
            if (!same(rows->second.quantity, position.quantity) || !same(rows->second.average, position.averagePrice) ||
                rows->second.rows.size() > 1) {
                const Statement update(m_connection,
                                       QStringLiteral("UPDATE holdings SET quantity = ?, average_price = ?, "
                                                      "fingerprint = '' WHERE user_id = ? AND id = ?"),
                                       {position.quantity, position.averagePrice, m_user, first.id});
                if (!update.ok())
                    return StoreError::unavailable(update.error());
                for (std::size_t i = 1; i < rows->second.rows.size(); ++i) {
                    if (auto failed = remove(rows->second.rows[i]))
                        return failed;
                }
            }
        } else {
            // The latest trade of the position names it as the user typed it and says what it last cost.
            const Trade *latest = nullptr;
            for (const Trade &t : m_trades) {
                if (t.movesShares() && t.positionAt == key)
                    latest = &t;
            }
            if (!latest)
                continue; // an opening row the user removed and the ledger never reached
            QString sector, subSector;
            {
                Statement named(m_connection,
                                QStringLiteral("SELECT sector, sub_sector FROM transactions WHERE user_id = ? AND id = ?"),
                                {m_user, latest->id});
                if (named.next()) {
                    sector = named.text(0);
                    subSector = named.text(1);
                }
            }
            for (const Row &row : m_holdings) {
                if (codeKey(row.market) == std::get<1>(key) && codeKey(row.code) == std::get<2>(key) &&
                    !row.sector.isEmpty()) {
                    sector = row.sector;
                    subSector = row.subSector;
                    break;
                }
            }
            const QString currency = CurrencyCatalog::currency(latest->market);
            const double price = latest->price > 0 ? latest->price * latest->toMarket : position.averagePrice;
            const Statement insert(
                m_connection,
                QStringLiteral("INSERT INTO holdings (user_id, position, id, market, sector, sub_sector, code, "
                               "currency, broker, average_price, quantity, current_price, fx_to_usd, note) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {m_user, ++m_lastPosition, newRowID(), latest->market, sector, subSector, latest->code, currency,
                 latest->broker, position.averagePrice, position.quantity, price, CurrencyCatalog::fxToUSD(currency),
                 QString()});
            if (!insert.ok())
                return StoreError::unavailable(insert.error());
        }
        mark.dirty = mark.dirty || !mark.resultQuantity || *mark.resultQuantity != position.quantity ||
                     mark.resultAverage.value_or(0) != position.averagePrice;
        mark.resultQuantity = position.quantity;
        mark.resultAverage = position.averagePrice;
    }
    return std::nullopt;
}

StoreOutcome Book::writeCash(const LedgerReport &report)
{
    std::map<Key, double> replayed;
    for (const LedgerCash &cash : report.cash)
        replayed[{cash.broker, std::string(), cash.currency}] = cash.amount;
    std::map<Key, Current> current = currentRows(m_cash, true);
    for (const auto &[key, amount] : replayed) {
        Mark &mark = m_cashMarks[key];
        const auto rows = current.find(key);
        if (rows != current.end()) {
            if (!same(rows->second.quantity, amount) || rows->second.rows.size() > 1) {
                const Statement update(m_connection,
                                       QStringLiteral("UPDATE cash_balances SET original_cash = ?, fingerprint = '' "
                                                      "WHERE user_id = ? AND id = ?"),
                                       {amount, m_user, rows->second.rows.front().id});
                if (!update.ok())
                    return StoreError::unavailable(update.error());
                for (std::size_t i = 1; i < rows->second.rows.size(); ++i) {
                    const Statement gone(m_connection,
                                         QStringLiteral("DELETE FROM cash_balances WHERE user_id = ? AND id = ?"),
                                         {m_user, rows->second.rows[i].id});
                    if (!gone.ok())
                        return StoreError::unavailable(gone.error());
                }
            }
        } else {
            // A balance of nothing is shown only where the user typed one.
            const Trade *latest = nullptr;
            for (const Trade &t : m_trades) {
                if (t.movesCash() && t.cashAt == key)
                    latest = &t;
            }
            if (!latest || amount == 0) {
                mark.dirty = mark.dirty || mark.resultQuantity.has_value();
                mark.resultQuantity.reset();
                mark.resultAverage.reset();
                continue;
            }
            const Statement insert(
                m_connection,
                QStringLiteral("INSERT INTO cash_balances (user_id, position, id, broker, original_cash, currency, "
                               "fx_to_usd, note) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                {m_user, ++m_lastCashPosition, newRowID(), latest->broker, amount, latest->currency,
                 CurrencyCatalog::fxToUSD(latest->currency), QString()});
            if (!insert.ok())
                return StoreError::unavailable(insert.error());
        }
        mark.dirty = mark.dirty || !mark.resultQuantity || *mark.resultQuantity != amount;
        mark.resultQuantity = amount;
        mark.resultAverage = 0;
    }
    return std::nullopt;
}

// Each SELL keeps what it realised. One an opening row already counts was sold against the position's cost
// when it was last replayed, which stays its basis after a correction.
StoreOutcome Book::writeGains(const LedgerReport &report)
{
    std::vector<const Realisation *> realised(m_trades.size(), nullptr);
    for (const Realisation &r : report.realisations) {
        if (r.index < m_fed.size())
            realised[std::size_t(m_fed[r.index])] = &r;
    }
    for (std::size_t i = 0; i < m_trades.size(); ++i) {
        const Trade &t = m_trades[i];
        std::optional<double> gain, gainUsd, basis;
        if (t.kind() != TransactionType::Sell) {
            // nothing realised: a correction may have turned a sale into something else
        } else if (const Realisation *r = realised[i]) {
            gain = r->gain / t.toMarket;
            gainUsd = r->gainUsd;
            basis = r->averagePrice;
        } else if (t.soldAgainst) {
            basis = t.soldAgainst;
            gain = (t.quantity * (t.price * t.toMarket - *basis) - t.commission * t.toMarket) / t.toMarket;
            gainUsd = *gain * t.fxToUsd;
        }
        const auto changed = [](const std::optional<double> &a, const std::optional<double> &b) {
            return a.has_value() != b.has_value() || (a && *a != *b);
        };
        if (!changed(gain, t.gain) && !changed(gainUsd, t.gainUsd) && !changed(basis, t.soldAgainst))
            continue;
        const Statement update(m_connection,
                               QStringLiteral("UPDATE transactions SET realized_gain = ?, realized_gain_usd = ?, "
                                              "sold_against = ? WHERE user_id = ? AND id = ?"),
                               {nullable(gain), nullable(gainUsd), nullable(basis), m_user, t.id});
        if (!update.ok())
            return StoreError::unavailable(update.error());
    }
    return std::nullopt;
}

StoreOutcome Book::writeMarks()
{
    const auto write = [this](const QString &kind, const std::map<Key, Mark> &marks) -> StoreOutcome {
        for (const auto &[key, mark] : marks) {
            if (!mark.dirty)
                continue;
            const Statement upsert(
                m_connection,
                QStringLiteral("INSERT INTO ledger_rows (user_id, kind, broker, market, code, since_sequence, "
                               "opening_quantity, opening_average, result_quantity, result_average) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (user_id, kind, broker, market, code) "
                               "DO UPDATE SET since_sequence = excluded.since_sequence, "
                               "opening_quantity = excluded.opening_quantity, opening_average = excluded.opening_average, "
                               "result_quantity = excluded.result_quantity, result_average = excluded.result_average"),
                {m_user, kind, QString::fromStdString(std::get<0>(key)), QString::fromStdString(std::get<1>(key)),
                 QString::fromStdString(std::get<2>(key)),
                 mark.since ? QVariant(*mark.since) : QVariant(QMetaType(QMetaType::LongLong)), mark.openingQuantity,
                 mark.openingAverage, nullable(mark.resultQuantity), nullable(mark.resultAverage)});
            if (!upsert.ok())
                return StoreError::unavailable(upsert.error());
        }
        return std::nullopt;
    };
    if (auto failed = write(QStringLiteral("position"), m_positionMarks))
        return failed;
    return write(QStringLiteral("cash"), m_cashMarks);
}

StoreOutcome Book::writeTrade(const LedgerWrite &write)
{
    if (write.kind == LedgerWrite::Kind::Delete) {
        const Statement gone(m_connection, QStringLiteral("DELETE FROM transactions WHERE user_id = ? AND id = ?"),
                             {m_user, write.id});
        return gone.ok() ? StoreOutcome() : StoreError::unavailable(gone.error());
    }
    const auto found = std::find_if(m_trades.begin(), m_trades.end(), [&](const Trade &t) { return t.id == write.id; });
    const Trade &t = *found;
    const QVariantList values{t.broker,     t.market,     t.code,      t.type,       t.quantity,  t.price,
                              t.commission, t.currency,   t.sector,    t.subSector,  t.tradedAt,  t.tradedAtMs,
                              t.reason,     t.amount,     t.splitRatio, t.settles ? 1 : 0, t.fxToUsd, t.toMarket,
                              t.sequence,   m_user,       t.id};
    const Statement row(
        m_connection,
        write.kind == LedgerWrite::Kind::Create
            ? QStringLiteral("INSERT INTO transactions (broker, market, code, transaction_type, quantity, price, "
                             "commission, currency, sector, sub_sector, traded_at, traded_at_ms, reason, amount, "
                             "split_ratio, settles_in_cash, fx_to_usd, to_market, sequence, user_id, id) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            : QStringLiteral("UPDATE transactions SET broker = ?, market = ?, code = ?, transaction_type = ?, "
                             "quantity = ?, price = ?, commission = ?, currency = ?, sector = ?, sub_sector = ?, "
                             "traded_at = ?, traded_at_ms = ?, reason = ?, amount = ?, split_ratio = ?, "
                             "settles_in_cash = ?, fx_to_usd = ?, to_market = ?, sequence = ? "
                             "WHERE user_id = ? AND id = ?"),
        values);
    return row.ok() ? StoreOutcome() : StoreError::unavailable(row.error());
}

} // namespace

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

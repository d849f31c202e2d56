#pragma once

// The pieces of a ledger write that its two halves share: reading and replaying the ledger
// (LedgerBook.cpp) and writing back what the replay gives (LedgerWriteBack.cpp). Not for use elsewhere.

#include "core/CurrencyCatalog.h"
#include "core/ledger/Ledger.h"
#include "server/Database.h"
#include "server/LedgerBook.h"

#include <QDateTime>
#include <QHash>
#include <QVariant>

struct sqlite3;

#include <atomic>
#include <cmath>
#include <map>

namespace quillfern::server::ledgerbook {

using Key = std::tuple<std::string, std::string, std::string>; // broker, market, code; cash: broker, "", currency

// Keys compare as the holdings table's rows do: spaces around ignored, broker in any case, codes in capitals.
inline std::string brokerKey(const QString &broker)
{
    return broker.trimmed().toCaseFolded().toStdString();
}

inline std::string codeKey(const QString &code)
{
    return code.trimmed().toUpper().toStdString();
}

inline Key positionKey(const QString &broker, const QString &market, const QString &code)
{
    return {brokerKey(broker), codeKey(market), codeKey(code)};
}

inline Key cashKey(const QString &broker, const QString &currency)
{
    return {brokerKey(broker), std::string(), codeKey(currency)};
}

inline bool same(double a, double b)
{
    return a == b || std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b));
}

// Orders transactions entered at the same moment; shared with every booking of this process.
inline qint64 nextSequence()
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

inline std::optional<double> optionalNumber(const Statement &row, int column)
{
    const QVariant value = row.value(column);
    return value.isNull() ? std::nullopt : std::optional(value.toDouble());
}

inline QVariant nullable(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

inline QString dayOf(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).date().toString(Qt::ISODate);
}

inline QString describe(double number)
{
    return QString::number(number, 'g', 12);
}

// The connection's own SQLite handle, for the ledger's bulk reads and writes; none on another database.
sqlite3 *sqliteHandle(const QSqlDatabase &connection);

// Only what a replay needs: the whole ledger is read on every write.
inline constexpr const char *kTradeQuery =
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
    StoreResult<LedgerImportCounts> runImport(const std::vector<std::pair<TransactionCreateInput, qint64>> &rows);
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
    StoreOutcome insertTrades(const std::vector<const Trade *> &trades);
    std::optional<StoreOutcome> insertTradesDirectly(const std::vector<const Trade *> &trades);
    double usdPerUnit(const QString &currency, const QString &day);
    const Trade *latestTrade(const Key &key, bool cash);
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
    QHash<QString, int> m_imported; // trades of an import being booked: id -> its row in the request
    QHash<QString, double> m_rates; // currency and day -> US dollars per unit, as looked up so far
    std::map<Key, const Trade *> m_latestShares, m_latestCash; // filled on first use, after the replay
};

} // namespace quillfern::server::ledgerbook

#pragma once

#include "core/ServiceRecords.h"
#include "core/ledger/LedgerRecords.h"
#include "server/StoreError.h"

#include <QSqlDatabase>

namespace quillfern::server {

// One change to a user's ledger.
struct LedgerWrite {
    enum class Kind { Create, Update, Delete };
    Kind kind = Kind::Create;
    QString id;                   // the transaction written; a new id for Create
    TransactionCreateInput input; // unused for Delete
    qint64 tradedAtMs = 0;
};

// The holdings and cash of an account are its ledger replayed on top of the rows the user typed.
//
// A row the user types by hand (a holding's quantity or average price, a cash balance, a row added or
// removed) is what the account holds at that moment: the transactions entered before it are already in
// it, and only those entered after it are applied on top, in the order of their dates. A correction of an
// older transaction therefore changes the ledger, its realised gains and income, and every row it reaches
// that was not typed again since. Hand edits are noticed at the next ledger write by comparing each row
// with what the last replay left in it.
//
// Runs inside the caller's write transaction, with the user's row locked. On a refusal nothing has been
// written and the error names the field at fault; the caller rolls back in any case.
StoreOutcome writeLedger(QSqlDatabase connection, const QString &userID, const LedgerWrite &write,
                         qint64 nowSeconds);

// Many new transactions at once, each with its time, in the order of the file they came from. One already
// in the ledger (duplicateKey) is skipped and counted; the rest are booked and the ledger replayed once. On a
// refusal nothing has been written and the error names the row at fault.
struct LedgerImportCounts {
    int imported = 0;
    int skipped = 0;
};
StoreResult<LedgerImportCounts> importLedger(QSqlDatabase connection, const QString &userID,
                                             const std::vector<std::pair<TransactionCreateInput, qint64>> &rows,
                                             qint64 nowSeconds);

// The columns a stored transaction is inserted with, in this order, and the placeholders of one row.
inline constexpr const char *kTradeInsert =
    "INSERT INTO transactions (broker, market, code, transaction_type, quantity, price, commission, currency, "
    "sector, sub_sector, traded_at, traded_at_ms, reason, amount, split_ratio, settles_in_cash, fx_to_usd, "
    "to_market, sequence, realized_gain, realized_gain_usd, sold_against, user_id, id) VALUES ";
inline constexpr const char *kTradeRow = "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// What a replay of the user's ledger starts from and goes through, as the ledger engine takes it: keys
// normalised (codes in capitals, brokers case-folded), trades in a position's currency, and the cash side of
// a trade in another currency as a row of its own without an id.
struct LedgerInput {
    LedgerOpening opening;
    std::vector<LedgerTransaction> ledger;
};
StoreResult<LedgerInput> readLedger(QSqlDatabase connection, const QString &userID);

// The US-dollar value of one unit of currency on a day (yyyy-MM-dd): the latest reference rate published on
// or before it, else the service's current rate.
double usdPerUnitOn(QSqlDatabase connection, const QString &currency, const QString &day);

} // namespace quillfern::server

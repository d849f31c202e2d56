#pragma once

// The records that cross the ledger core's boundary. Texts are UTF-8 and compared byte for byte. Amounts
// without a suffix are in the row's own currency; "Usd" amounts are in US dollars, converted with the
// rate each transaction carries for its day.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillfern {

// The word the service stores in a transaction's type. Words are matched exactly; anything else (a type
// added by a newer service, or "buy" in lower case) is Unknown, which a replay skips and reports.
enum class TransactionType {
    Buy,
    Sell,
    Dividend,
    Interest,
    Fee,
    Tax,
    Deposit,
    Withdrawal,
    Split,
    TransferIn,
    TransferOut,
    Unknown
};

TransactionType transactionTypeFromText(std::string_view text);

struct LedgerTransaction {
    std::string id;
    std::string type; // "BUY", "SELL", "DIVIDEND", "INTEREST", "FEE", "TAX", "DEPOSIT", "WITHDRAWAL", "SPLIT",
                      // "TRANSFER_IN", "TRANSFER_OUT"; any other word is an unknown type
    std::string broker;
    std::string market;
    std::string code;
    std::string currency;
    double quantity = 0;       // shares: trades and transfers
    double price = 0;          // per share: trades, and the cost per share a TRANSFER_IN brings
    double commission = 0;     // trades only
    double amount = 0;         // cash-only types
    double splitRatio = 0;     // new shares per old share: 4 for a 4-for-1 split
    bool settlesInCash = true; // whether a BUY or SELL moves the broker's cash
    std::int64_t tradedAt = 0; // seconds since 1970-01-01T00:00:00Z; calendar years are taken in UTC
    double fxToUsd = 0;        // US dollars per unit of `currency` on that day
    std::int64_t sequence = 0; // when it was entered, in the caller's order; see OpeningPosition::since

    bool operator==(const LedgerTransaction &) const = default;
};

struct OpeningPosition {
    std::string broker;
    std::string market;
    std::string code;
    std::string currency;
    double quantity = 0;
    double averagePrice = 0;
    // The row as typed already counts every transaction entered up to here (sequence ≤ since): those leave
    // this position alone. A row typed with nothing in it still sets the mark.
    std::int64_t since = INT64_MIN;

    bool operator==(const OpeningPosition &) const = default;
};

struct OpeningCash {
    std::string broker;
    std::string currency;
    double amount = 0;
    std::int64_t since = INT64_MIN; // as for positions: earlier entries leave this cash row alone

    bool operator==(const OpeningCash &) const = default;
};

// What the broker accounts held before the transactions that apply to them. Rows naming the same position
// or the same cash row are added together, and the later mark of the two counts.
struct LedgerOpening {
    std::vector<OpeningPosition> positions;
    std::vector<OpeningCash> cash;

    bool operator==(const LedgerOpening &) const = default;
};

// An open position and what it has realised since it was last opened.
struct LedgerPosition {
    std::string broker;
    std::string market;
    std::string code;
    std::string currency;
    double quantity = 0;
    double averagePrice = 0; // cost per share, buy commissions included
    double realisedGain = 0;
    double realisedGainUsd = 0;

    bool operator==(const LedgerPosition &) const = default;
};

// A position sold or transferred down to nothing, with what it realised from opening to closing.
struct ClosedPosition {
    std::string broker;
    std::string market;
    std::string code;
    std::string currency;
    double realisedGain = 0;
    double realisedGainUsd = 0;
    std::int64_t closedAt = 0;
    std::string closedBy; // id of the closing transaction

    bool operator==(const ClosedPosition &) const = default;
};

struct LedgerCash {
    std::string broker;
    std::string currency;
    double amount = 0; // may fall below zero: margin, or an opening balance nobody entered

    bool operator==(const LedgerCash &) const = default;
};

// The gain one SELL realised: quantity × (price − average) − commission. A SELL that an opening row
// already counts realises nothing here: the position it sold from is not known.
struct Realisation {
    std::size_t index = 0; // the transaction's place in the ledger as given
    std::string id;
    int year = 0;
    std::string currency;
    double gain = 0;
    double gainUsd = 0;
    double averagePrice = 0; // the position's cost per share it was sold against

    bool operator==(const Realisation &) const = default;
};

struct LedgerTotals {
    double dividendsUsd = 0;
    double interestUsd = 0;
    double taxUsd = 0;
    double incomeUsd = 0; // dividends + interest − tax
    double realisedGainUsd = 0;

    bool operator==(const LedgerTotals &) const = default;
};

struct YearTotals {
    int year = 0; // UTC calendar year
    LedgerTotals totals;

    bool operator==(const YearTotals &) const = default;
};

struct UnknownTransaction {
    std::size_t index = 0;
    std::string id;
    std::string type;

    bool operator==(const UnknownTransaction &) const = default;
};

// Everything a ledger holds, in a fixed order: positions by broker, market and code; cash by broker and
// currency; closings, realisations and unknown rows in the order they were applied; years ascending.
struct LedgerReport {
    std::vector<LedgerPosition> positions;
    std::vector<ClosedPosition> closedPositions;
    std::vector<LedgerCash> cash;
    std::vector<Realisation> realisations;
    std::vector<YearTotals> years;
    LedgerTotals allTime;
    std::vector<UnknownTransaction> unknown;

    bool operator==(const LedgerReport &) const = default;
};

enum class RefusalSubject { Transaction, OpeningPosition, OpeningCash };

enum class LedgerField {
    Broker,
    Code,
    Currency,
    Quantity,
    Price,
    Commission,
    Amount,
    SplitRatio,
    FxToUsd,
    TradedAt,
    AveragePrice
};

enum class RefusalReason {
    Missing,          // an empty text the type needs
    NotFinite,        // NaN or an infinity
    Negative,         // below zero
    NotPositive,      // zero or below where only a positive value makes sense
    NotHeld,          // nothing of the code held where the type needs a holding
    BeyondHeld,       // more shares than the position holds
    CurrencyMismatch, // a trade in another currency than the position's
    InFuture,         // more than a day after the caller's clock
    OutOfOrder,       // appended before the latest applied transaction: replay the whole ledger instead
    OutOfRange        // the figures it would produce overflow
};

// Why a ledger was refused, for the caller to put into the user's words. `index` is the row's place in
// the transactions as given (or in the opening rows, by `subject`); `id` is the transaction's id.
struct LedgerRefusal {
    RefusalSubject subject = RefusalSubject::Transaction;
    std::size_t index = 0;
    std::string id;
    LedgerField field = LedgerField::Quantity;
    RefusalReason reason = RefusalReason::Missing;

    bool operator==(const LedgerRefusal &) const = default;
};

// Stable lower-case names for the wire and the logs: "split_ratio", "beyond_held", ...
std::string_view fieldName(LedgerField field);
std::string_view reasonCode(RefusalReason reason);

} // namespace quillfern

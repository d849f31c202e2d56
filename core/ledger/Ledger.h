#pragma once

#include "core/ledger/LedgerRecords.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace quillfern {

struct LedgerReplay;

// Positions, cash and gains after some transactions, which grow one transaction at a time. A service keeps
// the state of a replay and appends to it; after an edit or a delete it replays the whole ledger.
//
// Positions are keyed by broker, market and code and valued at average cost. Every figure stays finite and
// no quantity goes below zero: a transaction that would break that is refused and changes nothing.
class LedgerState {
public:
    // Applies one transaction as the next row of the ledger, or refuses it and stays unchanged. Besides the
    // refusals of a replay, a transaction dated before the latest one applied is refused as out of order,
    // since a replay would have put it earlier. `nowSeconds` is the caller's clock, in epoch seconds.
    std::optional<LedgerRefusal> apply(const LedgerTransaction &transaction, std::int64_t nowSeconds);

    LedgerReport report() const;

    // Each open position (market, code, quantity) and each cash row (currency, amount) as it stands, in key
    // order, without copying the state out: for walking a ledger day by day.
    template <class Visit> void eachPosition(Visit &&visit) const
    {
        for (const auto &[key, holding] : m_positions)
            visit(std::get<1>(key), std::get<2>(key), holding.quantity);
    }
    template <class Visit> void eachCash(Visit &&visit) const
    {
        for (const auto &[key, amount] : m_cash)
            visit(std::get<1>(key), amount);
    }

    // How many transactions the state has taken, known and unknown types alike.
    std::size_t size() const { return m_size; }

private:
    friend LedgerReplay replayLedger(const LedgerOpening &, const std::vector<LedgerTransaction> &, std::int64_t);

    struct Holding {
        std::string currency;
        double quantity = 0;
        double averagePrice = 0;
        double realisedGain = 0;
        double realisedGainUsd = 0;
    };
    using PositionKey = std::tuple<std::string, std::string, std::string>; // broker, market, code
    using CashKey = std::tuple<std::string, std::string>;                  // broker, currency

    std::optional<LedgerRefusal> open(const LedgerOpening &opening);
    std::optional<LedgerRefusal> applyAt(const LedgerTransaction &transaction, std::size_t index,
                                         std::int64_t nowSeconds);
    std::optional<LedgerRefusal> applyTrade(TransactionType type, const LedgerTransaction &t, std::size_t index);
    std::optional<LedgerRefusal> applySplit(const LedgerTransaction &t, std::size_t index);
    std::optional<LedgerRefusal> applyCash(TransactionType type, const LedgerTransaction &t, std::size_t index);

    std::map<PositionKey, Holding, std::less<>> m_positions;
    std::map<CashKey, double, std::less<>> m_cash;
    // The marks of opening rows: a transaction entered up to a row's mark leaves that row alone.
    std::map<PositionKey, std::int64_t, std::less<>> m_positionSince;
    std::map<CashKey, std::int64_t, std::less<>> m_cashSince;
    std::vector<ClosedPosition> m_closed;
    std::vector<Realisation> m_realisations;
    std::map<int, LedgerTotals> m_years;
    LedgerTotals m_allTime;
    std::vector<UnknownTransaction> m_unknown;
    std::int64_t m_latest = INT64_MIN;
    std::size_t m_size = 0;
};

struct LedgerReplay {
    LedgerState state;                    // after every transaction applied; before the refused one if any
    std::optional<LedgerRefusal> refusal; // the first refused row, opening rows first, then in time order
};

// Starts from the opening positions and cash and applies the transactions in time order, ties in the order
// given. A transaction applies to each position or cash row it names whose opening mark it was entered
// after; the parts an opening row already counts are skipped, unchecked. Refuses the whole ledger at the first row it cannot apply; unknown types are skipped and reported.
LedgerReplay replayLedger(const LedgerOpening &opening, const std::vector<LedgerTransaction> &transactions,
                          std::int64_t nowSeconds);

} // namespace quillfern

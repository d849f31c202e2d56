#include "core/ledger/Ledger.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <numeric>

namespace quillfern {
namespace {

// A sale within this fraction of the holding sells all of it: decimal quantities rarely add up exactly.
constexpr double kResidue = 1e-9;
constexpr std::int64_t kDay = 86400;
// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z, the instants a four-digit calendar year can name.
constexpr std::int64_t kEarliest = -62135596800;
constexpr std::int64_t kLatest = 253402300799;

using Key3 = std::tuple<std::string_view, std::string_view, std::string_view>;
using Key2 = std::tuple<std::string_view, std::string_view>;

constexpr std::array<std::pair<std::string_view, TransactionType>, 11> kTypeWords{{
    {"BUY", TransactionType::Buy},
    {"SELL", TransactionType::Sell},
    {"DIVIDEND", TransactionType::Dividend},
    {"INTEREST", TransactionType::Interest},
    {"FEE", TransactionType::Fee},
    {"TAX", TransactionType::Tax},
    {"DEPOSIT", TransactionType::Deposit},
    {"WITHDRAWAL", TransactionType::Withdrawal},
    {"SPLIT", TransactionType::Split},
    {"TRANSFER_IN", TransactionType::TransferIn},
    {"TRANSFER_OUT", TransactionType::TransferOut},
}};

template <class Map, class Key> std::int64_t markOf(const Map &marks, const Key &key)
{
    const auto found = marks.find(key);
    return found == marks.end() ? INT64_MIN : found->second;
}

template <class... Values> bool allFinite(Values... values)
{
    return (std::isfinite(values) && ...);
}

bool allFinite(const LedgerTotals &t)
{
    return allFinite(t.dividendsUsd, t.interestUsd, t.taxUsd, t.incomeUsd, t.realisedGainUsd);
}

int utcYear(std::int64_t epochSeconds)
{
    using namespace std::chrono;
    return int(year_month_day{floor<days>(sys_seconds{seconds{epochSeconds}})}.year());
}

// The totals with one more income row or realised gain, in US dollars.
LedgerTotals plus(LedgerTotals totals, TransactionType type, double usd)
{
    switch (type) {
    case TransactionType::Dividend:
        totals.dividendsUsd += usd;
        break;
    case TransactionType::Interest:
        totals.interestUsd += usd;
        break;
    case TransactionType::Tax:
        totals.taxUsd += usd;
        break;
    default:
        totals.realisedGainUsd += usd;
        break;
    }
    totals.incomeUsd = totals.dividendsUsd + totals.interestUsd - totals.taxUsd;
    return totals;
}

} // namespace

TransactionType transactionTypeFromText(std::string_view text)
{
    for (const auto &[word, type] : kTypeWords) {
        if (word == text)
            return type;
    }
    return TransactionType::Unknown;
}

std::string_view fieldName(LedgerField field)
{
    switch (field) {
    case LedgerField::Broker:
        return "broker";
    case LedgerField::Code:
        return "code";
    case LedgerField::Currency:
        return "currency";
    case LedgerField::Quantity:
        return "quantity";
    case LedgerField::Price:
        return "price";
    case LedgerField::Commission:
        return "commission";
    case LedgerField::Amount:
        return "amount";
    case LedgerField::SplitRatio:
        return "split_ratio";
    case LedgerField::FxToUsd:
        return "fx_to_usd";
    case LedgerField::TradedAt:
        return "traded_at";
    case LedgerField::AveragePrice:
        return "average_price";
    }
    return "unknown";
}

std::string_view reasonCode(RefusalReason reason)
{
    switch (reason) {
    case RefusalReason::Missing:
        return "missing";
    case RefusalReason::NotFinite:
        return "not_finite";
    case RefusalReason::Negative:
        return "negative";
    case RefusalReason::NotPositive:
        return "not_positive";
    case RefusalReason::NotHeld:
        return "not_held";
    case RefusalReason::BeyondHeld:
        return "beyond_held";
    case RefusalReason::CurrencyMismatch:
        return "currency_mismatch";
    case RefusalReason::InFuture:
        return "in_future";
    case RefusalReason::OutOfOrder:
        return "out_of_order";
    case RefusalReason::OutOfRange:
        return "out_of_range";
    }
    return "unknown";
}

std::optional<LedgerRefusal> LedgerState::apply(const LedgerTransaction &transaction, std::int64_t nowSeconds)
{
    if (transaction.tradedAt < m_latest && transactionTypeFromText(transaction.type) != TransactionType::Unknown)
        return LedgerRefusal{RefusalSubject::Transaction, m_size, transaction.id, LedgerField::TradedAt,
                             RefusalReason::OutOfOrder};
    return applyAt(transaction, m_size, nowSeconds);
}

std::optional<LedgerRefusal> LedgerState::applyAt(const LedgerTransaction &t, std::size_t index,
                                                  std::int64_t nowSeconds)
{
    using enum TransactionType;
    const TransactionType type = transactionTypeFromText(t.type);
    if (type == Unknown) {
        m_unknown.push_back(UnknownTransaction{index, t.id, t.type});
        ++m_size;
        return std::nullopt;
    }
    const auto refuse = [&](LedgerField field, RefusalReason reason) {
        return LedgerRefusal{RefusalSubject::Transaction, index, t.id, field, reason};
    };
    const bool movesShares = type == Buy || type == Sell || type == TransferIn || type == TransferOut;
    if (type != Split && t.broker.empty())
        return refuse(LedgerField::Broker, RefusalReason::Missing);
    if ((movesShares || type == Split) && t.code.empty())
        return refuse(LedgerField::Code, RefusalReason::Missing);
    if (type != Split && t.currency.empty())
        return refuse(LedgerField::Currency, RefusalReason::Missing);
    const std::pair<LedgerField, double> numbers[] = {{LedgerField::Quantity, t.quantity},
                                                      {LedgerField::Price, t.price},
                                                      {LedgerField::Commission, t.commission},
                                                      {LedgerField::Amount, t.amount},
                                                      {LedgerField::FxToUsd, t.fxToUsd}};
    for (const auto &[field, value] : numbers) {
        if (!std::isfinite(value))
            return refuse(field, RefusalReason::NotFinite);
        if (value < 0)
            return refuse(field, RefusalReason::Negative);
    }
    if (movesShares && !(t.quantity > 0))
        return refuse(LedgerField::Quantity, RefusalReason::NotPositive);
    if (type == Split && !std::isfinite(t.splitRatio))
        return refuse(LedgerField::SplitRatio, RefusalReason::NotFinite);
    if (type == Split && !(t.splitRatio > 0))
        return refuse(LedgerField::SplitRatio, RefusalReason::NotPositive);
    if (t.tradedAt < kEarliest || t.tradedAt > kLatest)
        return refuse(LedgerField::TradedAt, RefusalReason::OutOfRange);
    if (nowSeconds <= kLatest - kDay && t.tradedAt > nowSeconds + kDay)
        return refuse(LedgerField::TradedAt, RefusalReason::InFuture);

    const std::optional<LedgerRefusal> refused = movesShares     ? applyTrade(type, t, index)
                                                 : type == Split ? applySplit(t, index)
                                                                 : applyCash(type, t, index);
    if (refused)
        return refused;
    m_latest = std::max(m_latest, t.tradedAt);
    ++m_size;
    return std::nullopt;
}

// Each step below computes every figure it would change, checks them, and only then writes them, so a
// refused transaction leaves the state as it was.

std::optional<LedgerRefusal> LedgerState::applyTrade(TransactionType type, const LedgerTransaction &t,
                                                     std::size_t index)
{
    using enum TransactionType;
    const auto refuse = [&](LedgerField field, RefusalReason reason) {
        return LedgerRefusal{RefusalSubject::Transaction, index, t.id, field, reason};
    };
    const auto found = m_positions.find(Key3{t.broker, t.market, t.code});
    Holding *held = found == m_positions.end() ? nullptr : &found->second;
    const bool moves = t.sequence > markOf(m_positionSince, Key3{t.broker, t.market, t.code});
    if (moves && held && held->currency != t.currency)
        return refuse(LedgerField::Currency, RefusalReason::CurrencyMismatch);

    const bool settles = t.settlesInCash && (type == Buy || type == Sell) &&
                         t.sequence > markOf(m_cashSince, Key2{t.broker, t.currency});
    const auto cashRow = m_cash.find(Key2{t.broker, t.currency});
    const double cashBefore = cashRow == m_cash.end() ? 0.0 : cashRow->second;
    const double gross = t.quantity * t.price;
    const auto writeCash = [&](double amount) {
        if (!settles)
            return;
        if (cashRow == m_cash.end())
            m_cash.emplace(CashKey{t.broker, t.currency}, amount);
        else
            cashRow->second = amount;
    };

    if (!moves) {
        const double cash = cashBefore + (type == Buy ? -(gross + t.commission) : gross - t.commission);
        if (!std::isfinite(cash))
            return refuse(LedgerField::Quantity, RefusalReason::OutOfRange);
        writeCash(cash);
        return std::nullopt;
    }

    if (type == Buy || type == TransferIn) {
        const double heldQuantity = held ? held->quantity : 0.0;
        const double quantity = heldQuantity + t.quantity;
        const double cost =
            (held ? heldQuantity * held->averagePrice : 0.0) + gross + (type == Buy ? t.commission : 0.0);
        const double average = cost / quantity;
        const double cash = settles ? cashBefore - (gross + t.commission) : 0.0;
        if (!allFinite(quantity, average, cash))
            return refuse(LedgerField::Quantity, RefusalReason::OutOfRange);
        if (!held) {
            held = &m_positions.try_emplace(PositionKey{t.broker, t.market, t.code}).first->second;
            held->currency = t.currency;
        }
        held->quantity = quantity;
        held->averagePrice = average;
        writeCash(cash);
        return std::nullopt;
    }

    if (!held)
        return refuse(LedgerField::Code, RefusalReason::NotHeld);
    if (t.quantity > held->quantity * (1 + kResidue))
        return refuse(LedgerField::Quantity, RefusalReason::BeyondHeld);
    const double remaining = held->quantity - t.quantity;
    const bool closes = remaining <= held->quantity * kResidue;
    const double gain = type == Sell ? t.quantity * (t.price - held->averagePrice) - t.commission : 0.0;
    const double gainUsd = gain * t.fxToUsd;
    const double realised = held->realisedGain + gain;
    const double realisedUsd = held->realisedGainUsd + gainUsd;
    const int year = utcYear(t.tradedAt);
    const auto yearRow = m_years.find(year);
    const LedgerTotals yearTotals = plus(yearRow == m_years.end() ? LedgerTotals{} : yearRow->second, type, gainUsd);
    const LedgerTotals allTime = plus(m_allTime, type, gainUsd);
    const double cash = settles ? cashBefore + gross - t.commission : 0.0;
    if (!allFinite(remaining, gain, gainUsd, realised, realisedUsd, cash) || !allFinite(yearTotals) ||
        !allFinite(allTime))
        return refuse(LedgerField::Quantity, RefusalReason::OutOfRange);

    if (type == Sell) {
        m_realisations.push_back(Realisation{index, t.id, year, t.currency, gain, gainUsd, held->averagePrice});
        m_years[year] = yearTotals;
        m_allTime = allTime;
        writeCash(cash);
    }
    if (closes) {
        m_closed.push_back(
            ClosedPosition{t.broker, t.market, t.code, t.currency, realised, realisedUsd, t.tradedAt, t.id});
        m_positions.erase(found);
    } else {
        held->quantity = remaining;
        held->realisedGain = realised;
        held->realisedGainUsd = realisedUsd;
    }
    return std::nullopt;
}

std::optional<LedgerRefusal> LedgerState::applySplit(const LedgerTransaction &t, std::size_t index)
{
    std::vector<Holding *> holders;
    bool counted = false; // an opening row typed after the split already holds the new shares
    for (auto &[key, holding] : m_positions) {
        if (std::get<1>(key) != t.market || std::get<2>(key) != t.code)
            continue;
        if (t.sequence > markOf(m_positionSince, key))
            holders.push_back(&holding);
        else
            counted = true;
    }
    for (const auto &[key, mark] : m_positionSince)
        counted = counted || (std::get<1>(key) == t.market && std::get<2>(key) == t.code && t.sequence <= mark);
    const auto refuse = [&](LedgerField field, RefusalReason reason) {
        return LedgerRefusal{RefusalSubject::Transaction, index, t.id, field, reason};
    };
    if (holders.empty() && !counted)
        return refuse(LedgerField::Code, RefusalReason::NotHeld);
    for (const Holding *holding : holders) {
        const double quantity = holding->quantity * t.splitRatio;
        if (!allFinite(quantity, holding->averagePrice / t.splitRatio) || !(quantity > 0))
            return refuse(LedgerField::SplitRatio, RefusalReason::OutOfRange);
    }
    for (Holding *holding : holders) {
        holding->quantity *= t.splitRatio;
        holding->averagePrice /= t.splitRatio;
    }
    return std::nullopt;
}

std::optional<LedgerRefusal> LedgerState::applyCash(TransactionType type, const LedgerTransaction &t, std::size_t index)
{
    using enum TransactionType;
    const bool adds = type == Dividend || type == Interest || type == Deposit;
    const bool income = type == Dividend || type == Interest || type == Tax;
    const bool moves = t.sequence > markOf(m_cashSince, Key2{t.broker, t.currency});
    const auto cashRow = m_cash.find(Key2{t.broker, t.currency});
    const double cashBefore = cashRow == m_cash.end() ? 0.0 : cashRow->second;
    const double cash = moves ? cashBefore + (adds ? t.amount : -t.amount) : cashBefore;
    const int year = utcYear(t.tradedAt);
    const auto yearRow = m_years.find(year);
    const double usd = t.amount * t.fxToUsd;
    const LedgerTotals yearTotals =
        income ? plus(yearRow == m_years.end() ? LedgerTotals{} : yearRow->second, type, usd) : LedgerTotals{};
    const LedgerTotals allTime = income ? plus(m_allTime, type, usd) : m_allTime;
    if (!std::isfinite(cash) || !allFinite(yearTotals) || !allFinite(allTime))
        return LedgerRefusal{RefusalSubject::Transaction, index, t.id, LedgerField::Amount, RefusalReason::OutOfRange};

    if (moves && cashRow == m_cash.end())
        m_cash.emplace(CashKey{t.broker, t.currency}, cash);
    else if (moves)
        cashRow->second = cash;
    if (income) {
        m_years[year] = yearTotals;
        m_allTime = allTime;
    }
    return std::nullopt;
}

std::optional<LedgerRefusal> LedgerState::open(const LedgerOpening &opening)
{
    for (std::size_t i = 0; i < opening.positions.size(); ++i) {
        const OpeningPosition &row = opening.positions[i];
        const auto refuse = [&](LedgerField field, RefusalReason reason) {
            return LedgerRefusal{RefusalSubject::OpeningPosition, i, {}, field, reason};
        };
        for (const auto &[field, value] :
             {std::pair{LedgerField::Quantity, row.quantity}, std::pair{LedgerField::AveragePrice, row.averagePrice}}) {
            if (!std::isfinite(value))
                return refuse(field, RefusalReason::NotFinite);
            if (value < 0)
                return refuse(field, RefusalReason::Negative);
        }
        std::int64_t &mark = m_positionSince.try_emplace(PositionKey{row.broker, row.market, row.code}, INT64_MIN)
                                 .first->second;
        mark = std::max(mark, row.since);
        if (row.quantity == 0)
            continue;
        const auto [place, added] = m_positions.try_emplace(PositionKey{row.broker, row.market, row.code},
                                                            Holding{row.currency, row.quantity, row.averagePrice});
        if (added)
            continue;
        Holding &holding = place->second;
        if (holding.currency != row.currency)
            return refuse(LedgerField::Currency, RefusalReason::CurrencyMismatch);
        const double quantity = holding.quantity + row.quantity;
        const double average = (holding.quantity * holding.averagePrice + row.quantity * row.averagePrice) / quantity;
        if (!allFinite(quantity, average))
            return refuse(LedgerField::Quantity, RefusalReason::OutOfRange);
        holding.quantity = quantity;
        holding.averagePrice = average;
    }
    for (std::size_t i = 0; i < opening.cash.size(); ++i) {
        const OpeningCash &row = opening.cash[i];
        const auto refuse = [&](RefusalReason reason) {
            return LedgerRefusal{RefusalSubject::OpeningCash, i, {}, LedgerField::Amount, reason};
        };
        std::int64_t &mark = m_cashSince.try_emplace(CashKey{row.broker, row.currency}, INT64_MIN).first->second;
        mark = std::max(mark, row.since);
        double &amount = m_cash[CashKey{row.broker, row.currency}];
        if (!std::isfinite(row.amount))
            return refuse(RefusalReason::NotFinite);
        if (!std::isfinite(amount + row.amount))
            return refuse(RefusalReason::OutOfRange);
        amount += row.amount;
    }
    return std::nullopt;
}

LedgerReport LedgerState::report() const
{
    LedgerReport report;
    report.positions.reserve(m_positions.size());
    for (const auto &[key, holding] : m_positions)
        report.positions.push_back(LedgerPosition{std::get<0>(key), std::get<1>(key), std::get<2>(key),
                                                  holding.currency, holding.quantity, holding.averagePrice,
                                                  holding.realisedGain, holding.realisedGainUsd});
    report.closedPositions = m_closed;
    report.cash.reserve(m_cash.size());
    for (const auto &[key, amount] : m_cash)
        report.cash.push_back(LedgerCash{std::get<0>(key), std::get<1>(key), amount});
    report.realisations = m_realisations;
    report.years.reserve(m_years.size());
    for (const auto &[year, totals] : m_years)
        report.years.push_back(YearTotals{year, totals});
    report.allTime = m_allTime;
    report.unknown = m_unknown;
    return report;
}

LedgerReplay replayLedger(const LedgerOpening &opening, const std::vector<LedgerTransaction> &transactions,
                          std::int64_t nowSeconds)
{
    LedgerReplay replay;
    if ((replay.refusal = replay.state.open(opening)))
        return replay;
    std::vector<std::size_t> order(transactions.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return transactions[a].tradedAt < transactions[b].tradedAt; });
    for (const std::size_t i : order) {
        if ((replay.refusal = replay.state.applyAt(transactions[i], i, nowSeconds)))
            return replay;
    }
    return replay;
}

} // namespace quillfern

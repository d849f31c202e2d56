#include "core/performance/ValueSeries.h"

#include "core/ledger/Ledger.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <numeric>
#include <set>
#include <unordered_map>

namespace quillfern {
namespace {

constexpr std::int64_t kDay = 86400;

std::int32_t dayOf(std::int64_t seconds)
{
    return std::int32_t(seconds >= 0 ? seconds / kDay : (seconds - kDay + 1) / kDay);
}

std::int32_t monthOf(std::int32_t day)
{
    using namespace std::chrono;
    const year_month_day date{sys_days{days{day}}};
    return int(date.year()) * 100 + int(unsigned(date.month()));
}

// A figure that changes on some days and holds in between, read for days in ascending order.
class Carried {
public:
    explicit Carried(const DayFigures *figures) : m_figures(figures) {}
    // The figure of the latest day on or before `day`; none before the first.
    std::optional<double> at(std::int32_t day)
    {
        if (!m_figures || m_figures->empty())
            return std::nullopt;
        while (m_next < m_figures->size() && (*m_figures)[m_next].first <= day)
            ++m_next;
        return m_next == 0 ? std::nullopt : std::optional((*m_figures)[m_next - 1].second);
    }

private:
    const DayFigures *m_figures;
    std::size_t m_next = 0;
};

struct Listing {
    ListingKey key;
    std::size_t currency = 0;
    Carried close;
    std::vector<std::pair<std::int32_t, double>> splits; // day, ratio; ascending
    std::size_t nextSplit = 0;
    double laterSplits = 1; // product of the ratios of splits after the current day

    double factorAt(std::int32_t day)
    {
        while (nextSplit < splits.size() && splits[nextSplit].first <= day)
            laterSplits /= splits[nextSplit++].second;
        return laterSplits;
    }
};

struct Currency {
    std::string code;
    Carried rate;
    std::optional<double> fallback; // the earliest rate, for days before it
};

class Walk {
public:
    explicit Walk(const ValueSeriesInput &input) : m_input(input) {}

    std::size_t currency(const std::string &code)
    {
        const auto [found, added] = m_currencyIndex.try_emplace(code, m_currencies.size());
        if (added) {
            const auto rates = m_input.usdPerUnit.find(code);
            const DayFigures *figures = rates == m_input.usdPerUnit.end() ? nullptr : &rates->second;
            m_currencies.push_back(Currency{code, Carried(figures),
                                            figures && !figures->empty() ? std::optional(figures->front().second)
                                                                         : std::nullopt});
        }
        return found->second;
    }

    std::size_t listing(const std::string &market, const std::string &code)
    {
        const ListingKey key{market, code};
        const auto [found, added] = m_listingIndex.try_emplace(key, m_listings.size());
        if (added) {
            const auto closes = m_input.closes.find(key);
            m_listings.push_back(Listing{key, currency(m_input.marketCurrency(market)),
                                         Carried(closes == m_input.closes.end() ? nullptr : &closes->second),
                                         {}, 0, 1});
        }
        return found->second;
    }

    double usd(std::size_t index, std::int32_t day)
    {
        Currency &c = m_currencies[index];
        if (c.code == "USD")
            return 1;
        return c.rate.at(day).value_or(c.fallback.value_or(0));
    }

    Listing &at(std::size_t index) { return m_listings[index]; }
    std::size_t listings() const { return m_listings.size(); }

private:
    const ValueSeriesInput &m_input;
    std::map<ListingKey, std::size_t> m_listingIndex;
    std::vector<Listing> m_listings;
    std::unordered_map<std::string, std::size_t> m_currencyIndex;
    std::vector<Currency> m_currencies;
};

template <class Key> std::int64_t markOf(const std::map<Key, std::int64_t> &marks, const Key &key)
{
    const auto found = marks.find(key);
    return found == marks.end() ? INT64_MIN : found->second;
}

} // namespace

ValueSeries buildValueSeries(const ValueSeriesInput &input, std::int32_t from, std::int32_t to)
{
    ValueSeries out;
    std::vector<LedgerTransaction> ledger = input.ledger;
    std::stable_sort(ledger.begin(), ledger.end(), [](const LedgerTransaction &a, const LedgerTransaction &b) {
        return std::tie(a.tradedAt, a.sequence) < std::tie(b.tradedAt, b.sequence);
    });

    Walk walk(input);
    std::map<std::tuple<std::string, std::string, std::string>, std::int64_t> positionMarks;
    std::map<std::pair<std::string, std::string>, std::int64_t> cashMarks;
    for (const OpeningPosition &row : input.opening.positions)
        positionMarks[{row.broker, row.market, row.code}] = row.since;
    for (const OpeningCash &row : input.opening.cash)
        cashMarks[{row.broker, row.currency}] = row.since;
    for (const LedgerTransaction &t : ledger) {
        if (transactionTypeFromText(t.type) == TransactionType::Split && t.splitRatio > 0)
            walk.at(walk.listing(t.market, t.code)).splits.emplace_back(dayOf(t.tradedAt), t.splitRatio);
    }
    for (std::size_t i = 0; i < walk.listings(); ++i) {
        Listing &l = walk.at(i);
        for (const auto &[day, ratio] : l.splits) {
            if (day > input.firstDay - 1)
                l.laterSplits *= ratio;
        }
    }

    LedgerState state = replayLedger(input.opening, {}, INT64_MAX).state;
    struct Held {
        std::size_t listing;
        double quantity;
    };
    std::vector<Held> held;
    std::vector<std::pair<std::size_t, double>> cash;
    const auto collect = [&] {
        held.clear();
        cash.clear();
        state.eachPosition([&](const std::string &market, const std::string &code, double quantity) {
            held.push_back(Held{walk.listing(market, code), quantity});
        });
        state.eachCash([&](const std::string &currency, double amount) { cash.emplace_back(walk.currency(currency), amount); });
    };
    collect();

    std::set<ListingKey> missing;
    std::map<ListingKey, double> startValue, endValue, paidIn;
    double invested = 0, pendingFlow = 0;
    std::size_t next = 0;
    bool started = false;
    for (std::int32_t day = input.firstDay; day <= input.lastDay; ++day) {
        double flow = 0;
        bool changed = false;
        const bool inPeriod = day >= from && day <= to;
        for (; next < ledger.size() && dayOf(ledger[next].tradedAt) <= day; ++next) {
            const LedgerTransaction &t = ledger[next];
            const TransactionType type = transactionTypeFromText(t.type);
            const bool movesPosition = t.sequence > markOf(positionMarks, {t.broker, t.market, t.code});
            const bool movesCash = t.sequence > markOf(cashMarks, {t.broker, t.currency});
            const double gross = t.quantity * t.price;
            const ListingKey key{t.market, t.code};
            double intoListing = 0;
            switch (type) {
            case TransactionType::Deposit:
                flow += movesCash && !t.id.empty() ? t.amount * t.fxToUsd : 0;
                break;
            case TransactionType::Withdrawal:
                flow -= movesCash && !t.id.empty() ? t.amount * t.fxToUsd : 0;
                break;
            case TransactionType::Buy:
                intoListing = (gross + t.commission) * t.fxToUsd;
                if (movesPosition && !t.settlesInCash)
                    flow += intoListing;
                break;
            case TransactionType::Sell:
                intoListing = -(gross - t.commission) * t.fxToUsd;
                if (movesPosition && !t.settlesInCash)
                    flow += intoListing;
                break;
            case TransactionType::TransferIn:
                intoListing = gross * t.fxToUsd;
                flow += movesPosition ? intoListing : 0;
                break;
            case TransactionType::TransferOut: {
                Listing &l = walk.at(walk.listing(t.market, t.code));
                const std::optional<double> close = l.close.at(day);
                intoListing = -t.quantity * close.value_or(t.price) * l.factorAt(day) * walk.usd(l.currency, day);
                flow += movesPosition ? intoListing : 0;
                break;
            }
            case TransactionType::Dividend:
            case TransactionType::Interest:
            case TransactionType::Tax:
                if (inPeriod) {
                    const double usd = t.amount * t.fxToUsd * (type == TransactionType::Tax ? -1 : 1);
                    out.incomeByMonth[monthOf(day)] += usd;
                    if (type == TransactionType::Dividend && !t.code.empty())
                        intoListing = -usd;
                }
                break;
            default:
                break;
            }
            if (inPeriod && !t.code.empty() && intoListing != 0)
                paidIn[key] += intoListing;
            changed = !state.apply(t, INT64_MAX) || changed;
        }
        if (changed)
            collect();

        // Holdings and cash at the day's closes and rates; a day without a close for something held is a gap.
        double value = 0, cashValue = 0;
        bool known = true;
        const bool edge = day == from - 1 || day == to || (day == input.lastDay && day < to);
        for (const Held &h : held) {
            if (h.quantity == 0)
                continue;
            Listing &l = walk.at(h.listing);
            const std::optional<double> close = l.close.at(day);
            if (!close) {
                missing.insert(l.key);
                known = false;
                continue;
            }
            const double worth = h.quantity * l.factorAt(day) * *close * walk.usd(l.currency, day);
            value += worth;
            if (edge)
                (day == from - 1 ? startValue : endValue)[l.key] += worth;
        }
        for (const auto &[currencyIndex, amount] : cash)
            cashValue += amount * walk.usd(currencyIndex, day);
        value += cashValue;
        pendingFlow += flow;
        if (!known)
            continue; // its flows count on the next day that can be valued
        if (!started) {
            // What the account holds on its first day that can be valued came in then, at what it was worth.
            started = true;
            pendingFlow = value;
        }
        invested += pendingFlow;
        if (inPeriod)
            out.days.push_back(SeriesDay{day, value, invested, cashValue, pendingFlow});
        pendingFlow = 0;
    }
    out.missing.assign(missing.begin(), missing.end());
    for (const auto &[key, worth] : endValue)
        out.contributions[key] += worth;
    for (const auto &[key, worth] : startValue)
        out.contributions[key] -= worth;
    for (const auto &[key, paid] : paidIn)
        out.contributions[key] -= paid;
    return out;
}

PeriodPerformance measureSeries(const std::vector<SeriesDay> &days)
{
    std::vector<DailyValue> values;
    values.reserve(days.size());
    for (const SeriesDay &d : days)
        values.push_back(DailyValue{d.day, d.value, d.flow});
    return measurePeriod(values);
}

} // namespace quillfern

#include "core/performance/Performance.h"

#include <algorithm>
#include <cmath>

namespace quillfern {
namespace {

// Each day's time-weighted return, or none for a day that started with nothing in the account.
std::vector<std::optional<double>> dailyReturns(const std::vector<DailyValue> &days)
{
    std::vector<std::optional<double>> returns;
    for (std::size_t i = 1; i < days.size(); ++i) {
        const double start = days[i - 1].value + days[i].flow;
        returns.push_back(start > 0 ? std::optional(days[i].value / start - 1) : std::nullopt);
    }
    return returns;
}

struct Flow {
    double years; // before the period's end
    double amount;
};

// The opening value and each flow, with how long before the end they came in.
std::vector<Flow> flowsOf(const std::vector<DailyValue> &days)
{
    const double end = days.back().day;
    std::vector<Flow> flows{{(end - days.front().day) / 365.0, days.front().value}};
    for (std::size_t i = 1; i < days.size(); ++i) {
        if (days[i].flow != 0)
            flows.push_back({(end - days[i].day) / 365.0, days[i].flow});
    }
    return flows;
}

// What the opening value and the flows are worth at the end at yearly rate r, less the end value: below
// zero while r is below the money-weighted return when money only went in.
double shortfall(const std::vector<Flow> &flows, double endValue, double rate)
{
    double total = -endValue;
    for (const Flow &flow : flows)
        total += flow.amount * std::pow(1 + rate, flow.years);
    return total;
}

} // namespace

std::optional<double> timeWeightedReturn(const std::vector<DailyValue> &days)
{
    double index = 1;
    bool any = false;
    for (const std::optional<double> &r : dailyReturns(days)) {
        if (!r)
            continue;
        index *= 1 + *r;
        any = true;
    }
    return any && std::isfinite(index) ? std::optional(index - 1) : std::nullopt;
}

std::optional<double> moneyWeightedReturn(const std::vector<DailyValue> &days)
{
    if (days.size() < 2 || days.back().day <= days.front().day)
        return std::nullopt;
    const std::vector<Flow> flows = flowsOf(days);
    const double endValue = days.back().value;
    if (std::all_of(flows.begin(), flows.end(), [](const Flow &flow) { return flow.amount == 0; }))
        return std::nullopt; // nothing invested earns no rate
    // The shortfall need not be monotonic when money goes both ways, so the range is walked in steps that
    // grow with the rate and the first change of sign is narrowed down by bisection.
    double low = -0.9999, lowValue = shortfall(flows, endValue, low);
    for (double high = -0.99; high <= 1e6; high = high < 1 ? high + 0.01 : high * 1.5) {
        const double highValue = shortfall(flows, endValue, high);
        if (!std::isfinite(lowValue) || !std::isfinite(highValue)) {
            low = high;
            lowValue = highValue;
            continue;
        }
        if (lowValue == 0)
            return low;
        if ((lowValue < 0) != (highValue < 0)) {
            double a = low, b = high, fa = lowValue;
            for (int step = 0; step < 200 && b - a > 1e-13 * std::max(1.0, std::abs(a)); ++step) {
                const double mid = (a + b) / 2, fm = shortfall(flows, endValue, mid);
                if ((fm < 0) == (fa < 0)) {
                    a = mid;
                    fa = fm;
                } else {
                    b = mid;
                }
            }
            return (a + b) / 2;
        }
        low = high;
        lowValue = highValue;
    }
    return std::nullopt;
}

PeriodPerformance measurePeriod(const std::vector<DailyValue> &days)
{
    PeriodPerformance out;
    if (days.empty())
        return out;
    out.timeWeighted = timeWeightedReturn(days);
    out.moneyWeighted = moneyWeightedReturn(days);
    double flows = 0;
    for (std::size_t i = 1; i < days.size(); ++i)
        flows += days[i].flow;
    out.gain = days.back().value - days.front().value - flows;
    if (days.size() >= 2)
        out.dayChange = days.back().value - days[days.size() - 2].value - days.back().flow;

    double index = 1, peak = 1, sum = 0, squares = 0;
    int counted = 0;
    for (const std::optional<double> &r : dailyReturns(days)) {
        if (!r)
            continue;
        index *= 1 + *r;
        peak = std::max(peak, index);
        out.maxDrawdown = std::max(out.maxDrawdown, 1 - index / peak);
        sum += *r;
        squares += *r * *r;
        ++counted;
    }
    if (counted >= 2) {
        const double mean = sum / counted;
        const double variance = std::max(0.0, (squares - counted * mean * mean) / (counted - 1));
        out.volatility = std::sqrt(variance * 252);
    }
    return out;
}

} // namespace quillfern

#pragma once

// Returns and risk of an account's value over days, in one currency. Days are counted from 1970-01-01; a
// flow is money the owner put in (positive) or took out (negative), counted at the start of its day.

#include <cstdint>
#include <optional>
#include <vector>

namespace quillfern {

struct DailyValue {
    std::int32_t day = 0;
    double value = 0; // at the end of the day, after the day's flow
    double flow = 0;  // the day's net flow: deposits and withdrawals together

    bool operator==(const DailyValue &) const = default;
};

struct PeriodPerformance {
    std::optional<double> timeWeighted;  // fraction: 0.05 is 5 %; none when no day had money in it
    std::optional<double> moneyWeighted; // yearly rate (Actual/365); none when no rate solves the flows
    double gain = 0;                     // end value − start value − flows
    double maxDrawdown = 0;              // largest fall from a peak of the time-weighted index, as a fraction
    std::optional<double> volatility;    // of the daily time-weighted returns, annualised over 252 days
    std::optional<double> dayChange;     // the last day's gain: its value − the day before's − its flow

    bool operator==(const PeriodPerformance &) const = default;
};

// The first row is the period's opening: its value is the start value and its flow is not counted. Rows are
// in day order, one per day (a day without a close carries the last value in).
PeriodPerformance measurePeriod(const std::vector<DailyValue> &days);

// Daily-linked: each day returns value / (previous value + flow) − 1; a day that starts with nothing in the
// account is skipped.
std::optional<double> timeWeightedReturn(const std::vector<DailyValue> &days);

// The yearly rate r at which the opening value and the flows, grown at r for their days to the end,
// add up to the end value. Searched over (−99.99 %, 10^6); none when no rate there solves it.
std::optional<double> moneyWeightedReturn(const std::vector<DailyValue> &days);

} // namespace quillfern

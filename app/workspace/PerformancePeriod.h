#pragma once

// The periods the performance page offers and the days each covers.

#include "core/ServiceRecords.h"

#include <QDate>
#include <QList>

#include <array>
#include <optional>

namespace quillfern {

enum class PerformancePeriod { OneMonth, ThreeMonths, YearToDate, OneYear, FiveYears, All };

inline constexpr std::array<PerformancePeriod, 6> performancePeriods{
    PerformancePeriod::OneMonth, PerformancePeriod::ThreeMonths, PerformancePeriod::YearToDate,
    PerformancePeriod::OneYear,  PerformancePeriod::FiveYears,   PerformancePeriod::All};

// First and last day, both included.
struct DateRange {
    QDate from;
    QDate to;

    bool operator==(const DateRange &) const = default;
};

// The days a period covers up to today. A month or a year back from a day the shorter month or year lacks
// (March 31, February 29) lands on its last day. "All" starts on the earliest trade, or a year back when
// there is none; a start after today is today.
DateRange periodDates(PerformancePeriod period, const QDate &today, const std::optional<QDate> &earliestTrade);

// The day of the earliest trade of the ledger, as recorded; none when no record carries a readable day.
std::optional<QDate> earliestTradeDay(const QList<TransactionRecord> &records);

// The catalogue key of the period's button.
const char16_t *periodKey(PerformancePeriod period);

} // namespace quillfern

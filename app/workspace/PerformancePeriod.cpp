#include "app/workspace/PerformancePeriod.h"

namespace quillfern {

DateRange periodDates(PerformancePeriod period, const QDate &today, const std::optional<QDate> &earliestTrade)
{
    QDate from;
    switch (period) {
    case PerformancePeriod::OneMonth:
        from = today.addMonths(-1);
        break;
    case PerformancePeriod::ThreeMonths:
        from = today.addMonths(-3);
        break;
    case PerformancePeriod::YearToDate:
        from = QDate(today.year(), 1, 1);
        break;
    case PerformancePeriod::OneYear:
        from = today.addYears(-1);
        break;
    case PerformancePeriod::FiveYears:
        from = today.addYears(-5);
        break;
    case PerformancePeriod::All:
        from = earliestTrade && earliestTrade->isValid() ? *earliestTrade : today.addYears(-1);
        break;
    }
    return {std::min(from, today), today};
}

std::optional<QDate> earliestTradeDay(const QList<TransactionRecord> &records)
{
    std::optional<QDate> earliest;
    for (const TransactionRecord &record : records) {
        // The day as the trade was recorded: the service writes it first, whatever the time and zone after it.
        const QDate day = QDate::fromString(record.tradedAt.left(10), Qt::ISODate);
        if (day.isValid() && (!earliest || day < *earliest))
            earliest = day;
    }
    return earliest;
}

const char16_t *periodKey(PerformancePeriod period)
{
    switch (period) {
    case PerformancePeriod::OneMonth:
        return u"periodOneMonth";
    case PerformancePeriod::ThreeMonths:
        return u"periodThreeMonths";
    case PerformancePeriod::YearToDate:
        return u"periodYearToDate";
    case PerformancePeriod::OneYear:
        return u"periodOneYear";
    case PerformancePeriod::FiveYears:
        return u"periodFiveYears";
    case PerformancePeriod::All:
        break;
    }
    return u"periodAll";
}

} // namespace quillfern

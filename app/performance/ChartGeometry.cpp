#include "app/performance/ChartGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillfern {
namespace {

// The smallest of 1, 2, 2.5, 5 and 10 times a power of ten that is at least rough.
double roundStep(double rough)
{
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
        if (factor * magnitude >= rough)
            return factor * magnitude;
    }
    return 10 * magnitude;
}

} // namespace

ValueAxis valueAxis(const QList<PerformancePoint> &series, int targetTicks)
{
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const PerformancePoint &point : series) {
        for (const double value : {point.value, point.invested}) {
            if (std::isfinite(value)) {
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }
    }
    if (low > high)
        low = high = 0;
    if (high - low < 1e-9) {
        // A flat line sits in the middle of a span a tenth of its size (or of 1).
        const double half = std::max(std::abs(high) * 0.05, 0.5);
        low -= half;
        high += half;
    }
    const double step = roundStep((high - low) / std::max(targetTicks, 1));
    ValueAxis axis{std::floor(low / step) * step, std::ceil(high / step) * step, {}};
    for (double tick = axis.low; tick <= axis.high + step / 2; tick += step)
        axis.ticks.append(std::abs(tick) < step / 1e6 ? 0 : tick);
    return axis;
}

std::vector<double> dayPositions(const QList<PerformancePoint> &series, const QRectF &plot)
{
    std::vector<double> xs;
    xs.reserve(std::size_t(series.size()));
    if (series.isEmpty())
        return xs;
    if (series.size() == 1) {
        xs.push_back(plot.center().x());
        return xs;
    }
    std::vector<qint64> days;
    days.reserve(xs.capacity());
    qint64 previous = 0;
    for (qsizetype i = 0; i < series.size(); ++i) {
        const QDate date = QDate::fromString(series[i].date, Qt::ISODate);
        // An unreadable date keeps the line going forward: one day after the previous one.
        previous = date.isValid() && (i == 0 || date.toJulianDay() > previous) ? date.toJulianDay()
                                                                               : (i == 0 ? 0 : previous + 1);
        days.push_back(previous);
    }
    const double span = double(days.back() - days.front());
    for (const qint64 day : days)
        xs.push_back(plot.left() + plot.width() * double(day - days.front()) / span);
    return xs;
}

double valueY(double value, const ValueAxis &axis, const QRectF &plot)
{
    const double span = axis.high - axis.low;
    const double share = span > 0 ? (value - axis.low) / span : 0.5;
    return plot.bottom() - share * plot.height();
}

QPolygonF seriesLine(const QList<PerformancePoint> &series, double PerformancePoint::*field,
                     const std::vector<double> &xs, const ValueAxis &axis, const QRectF &plot)
{
    QPolygonF line;
    line.reserve(series.size());
    for (qsizetype i = 0; i < series.size() && std::size_t(i) < xs.size(); ++i)
        line.append(QPointF(xs[std::size_t(i)], valueY(series[i].*field, axis, plot)));
    return line;
}

std::optional<int> nearestDay(const std::vector<double> &xs, double x)
{
    if (xs.empty())
        return std::nullopt;
    const auto after = std::lower_bound(xs.cbegin(), xs.cend(), x);
    if (after == xs.cbegin())
        return 0;
    if (after == xs.cend())
        return int(xs.size()) - 1;
    const auto before = after - 1;
    return int((x - *before <= *after - x ? before : after) - xs.cbegin());
}

} // namespace quillfern

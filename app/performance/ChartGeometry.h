#pragma once

// Where a daily series lands in a plot: the value axis with its ticks, each day's x from its date, the
// lines as polygons, and the day nearest to a point. Plain geometry, free of widgets, so that it is tested
// directly and computed once per data or size change rather than on every paint.

#include "core/ServiceRecords.h"

#include <QDate>
#include <QList>
#include <QPolygonF>
#include <QRectF>

#include <optional>
#include <vector>

namespace quillfern {

// The values the y axis spans, from low at the bottom to high at the top, and the round values between
// them that get a grid line and a label.
struct ValueAxis {
    double low = 0;
    double high = 1;
    QList<double> ticks;

    bool operator==(const ValueAxis &) const = default;
};

// An axis over every value and invested amount of the series, widened to whole steps of 1, 2, 2.5 or 5
// times a power of ten so that about targetTicks steps cover it. A flat or empty series still spans a step.
ValueAxis valueAxis(const QList<PerformancePoint> &series, int targetTicks = 5);

// Each point's x in plot: by its date, the first day at the left edge and the last at the right, so a day
// the series skips leaves its gap. One point sits in the middle; a date that cannot be read takes the
// previous one's place.
std::vector<double> dayPositions(const QList<PerformancePoint> &series, const QRectF &plot);

// y of a value on the axis in plot.
double valueY(double value, const ValueAxis &axis, const QRectF &plot);

// The line through one field of every point (value or invested).
QPolygonF seriesLine(const QList<PerformancePoint> &series, double PerformancePoint::*field,
                     const std::vector<double> &xs, const ValueAxis &axis, const QRectF &plot);

// The index of the day whose x is nearest to x (the earlier on a tie); none when there is no day.
std::optional<int> nearestDay(const std::vector<double> &xs, double x);

} // namespace quillfern

#include "app/charts/PieChart.h"

#include "app/charts/Palette.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quillfern {

namespace {

constexpr double radiansPerDegree = std::numbers::pi / 180;
constexpr double top = -90 * radiansPerDegree;

} // namespace

QPainterPath PieSlice::path(const QRectF &rect) const
{
    const QPointF centre = rect.center();
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    // Qt measures arcs in degrees counter-clockwise on screen; these angles run clockwise on screen.
    const double start = -startAngle / radiansPerDegree;
    const double sweep = -(endAngle - startAngle) / radiansPerDegree;
    QPainterPath wedge;
    wedge.moveTo(centre);
    wedge.arcTo(circle, start, sweep);
    wedge.closeSubpath();
    return wedge;
}

QList<PieSlice> pieSlices(const std::vector<AllocationItem> &items)
{
    QList<PieSlice> slices;
    const double end = top + 360 * radiansPerDegree;
    double running = top;
    const std::size_t count = std::min<std::size_t>(items.size(), maximumPieSlices);
    for (std::size_t i = 0; i < count; ++i) {
        const double share = items[i].percentage;
        const double sweep = std::isfinite(share) && share > 0 ? share / 100 * 360 * radiansPerDegree : 0;
        const double sliceEnd = std::min(running + sweep, end);
        slices.append(PieSlice{running, sliceEnd});
        running = sliceEnd;
    }
    return slices;
}

PieChart::PieChart(QWidget *parent) : QWidget(parent)
{
    setFixedSize(side, side);
}

void PieChart::setItems(std::vector<AllocationItem> items)
{
    if (m_items == items)
        return;
    m_items = std::move(items);
    update();
}

QRectF PieChart::chartRect() const
{
    return QRectF(rect());
}

void PieChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QList<PieSlice> wedges = slices();
    for (qsizetype i = 0; i < wedges.size(); ++i) {
        if (wedges[i].endAngle <= wedges[i].startAngle)
            continue;
        painter.setBrush(Palette::color(int(i), palette()));
        painter.drawPath(wedges[i].path(chartRect()));
    }
}

} // namespace quillfern

#pragma once

#include "core/analysis/PortfolioRecords.h"

#include <QList>
#include <QPainterPath>
#include <QWidget>

#include <vector>

namespace quillfern {

// One wedge, in radians. Angles grow clockwise on screen (the y axis points down); -pi/2 is 12 o'clock.
struct PieSlice {
    double startAngle = 0;
    double endAngle = 0;

    // The wedge centred in rect, with the radius of the largest circle that fits it.
    QPainterPath path(const QRectF &rect) const;

    bool operator==(const PieSlice &) const = default;
};

// At most this many buckets get a slice; the rest of the circle stays empty.
inline constexpr int maximumPieSlices = 8;

// The slices of the first buckets, from 12 o'clock clockwise, each as wide as its percentage of the
// whole circle. Shares below zero or not a number get no width, and no slice runs past a full turn, so
// percentages that add up to more than 100 never draw over one another.
QList<PieSlice> pieSlices(const std::vector<AllocationItem> &items);

// The chart of an allocation, slice i in the chart colour of index i.
class PieChart : public QWidget {
    Q_OBJECT

public:
    static constexpr int side = 132;

    explicit PieChart(QWidget *parent = nullptr);

    const std::vector<AllocationItem> &items() const { return m_items; }
    void setItems(std::vector<AllocationItem> items);
    QList<PieSlice> slices() const { return pieSlices(m_items); }
    // The square the slices are drawn in.
    QRectF chartRect() const;

    QSize sizeHint() const override { return {side, side}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<AllocationItem> m_items;
};

} // namespace quillfern

#pragma once

#include "app/charts/Palette.h"

#include <QString>
#include <QWidget>

namespace quillfern {

// What one card shows: a title, a value already formatted, and how the value is coloured.
struct MetricFigure {
    QString title;
    QString value;
    FigureTone tone = FigureTone::Primary;

    bool operator==(const MetricFigure &) const = default;
};

// Green for a figure at zero or above, red below it; a zero result counts as no loss.
FigureTone gainTone(double value);

// The rounded, outlined card behind figures and allocation panels.
void paintCardBackground(QPainter &painter, const QRectF &rect, const QPalette &palette);

// A titled figure on a card: the caption above, the value large beneath it, both at the leading edge.
class MetricCard : public QWidget {
    Q_OBJECT

public:
    static constexpr int padding = 14;
    static constexpr int spacing = 6;
    static constexpr qreal cornerRadius = 8;
    static constexpr int valuePixelSize = 24;

    explicit MetricCard(QWidget *parent = nullptr);

    const MetricFigure &figure() const { return m_figure; }
    void setFigure(const MetricFigure &figure);
    // The value's colour under the card's current palette.
    QColor valueColour() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    MetricFigure m_figure;
};

} // namespace quillfern

#pragma once

#include "app/performance/ChartGeometry.h"
#include "core/ServiceRecords.h"

#include <QPolygonF>
#include <QWidget>

class QPainter;

#include <optional>
#include <utility>
#include <vector>

namespace quillfern {

// The account's value and invested capital per day as two lines over a value axis, with a crosshair that
// follows the mouse (or Left and Right with focus) and says the day's date, value and gain in a tip box. All
// geometry and label text is made when the data or the size changes; a paint only draws it.
class ValueChart : public QWidget {
    Q_OBJECT

public:
    explicit ValueChart(QWidget *parent = nullptr);

    // Amounts are US dollars, written in currency; dates and amounts under the given ICU locales.
    void setSeries(QList<PerformancePoint> series, const CurrencyOption &currency, const QString &languageCode,
                   const QString &dateLocale, const QString &monetaryLocale);
    const QList<PerformancePoint> &series() const { return m_series; }

    // The day under the crosshair, none while it is hidden.
    std::optional<int> crosshair() const { return m_crosshair; }
    void setCrosshair(std::optional<int> index);
    // The tip's text for a day: its date, value and gain (value − invested).
    QString dayText(int index) const;
    QRectF plotRect() const { return m_plot; }
    const std::vector<double> &dayXs() const { return m_xs; }

    QSize sizeHint() const override { return {900, 340}; }
    QSize minimumSizeHint() const override { return {320, 220}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void relayout();
    void paintTip(QPainter &painter, const QPointF &at) const;

    QList<PerformancePoint> m_series;
    CurrencyOption m_currency;
    QString m_language;
    QString m_dateLocale;
    QString m_monetaryLocale;

    ValueAxis m_axis;
    QRectF m_plot;
    std::vector<double> m_xs;
    QPolygonF m_value;
    QPolygonF m_invested;
    QList<std::pair<double, QString>> m_valueLabels; // y, text
    QList<std::pair<double, QString>> m_dayLabels;   // x, text
    QString m_legendValue;
    QString m_legendInvested;
    std::optional<int> m_crosshair;
    QString m_tip;
};

} // namespace quillfern

#pragma once

#include "app/charts/DisplayLocales.h"
#include "core/ServiceRecords.h"
#include "core/analysis/PortfolioRecords.h"

#include <QList>
#include <QWidget>

#include <vector>

namespace quillfern {

class PieChart;

// One legend line: the bucket's label, its share and its value, and the chart colour of its slice.
struct LegendRow {
    QString label;
    QString share;
    QString value;
    int colourIndex = 0;

    bool operator==(const LegendRow &) const = default;
};

// The legend lists fewer buckets than the chart draws, so it stays short beside it.
inline constexpr int maximumLegendRows = 6;

// items as the panel shows them: with more than maximumLegendRows buckets, the first ones and a last
// bucket named otherLabel holding the value and share of all the rest.
std::vector<AllocationItem> foldedAllocation(std::vector<AllocationItem> items, const QString &otherLabel);

// The legend of the first buckets, in list order: share with percent, value in the panel's currency.
QList<LegendRow> legendRows(const std::vector<AllocationItem> &items, const CurrencyOption &currency,
                            const DisplayLocales &locales = DisplayLocales::system());

// The rows beside an allocation's pie: a dot in the slice's colour, the label, the share, the value.
class AllocationLegend : public QWidget {
    Q_OBJECT

public:
    static constexpr int dotSize = 9;
    static constexpr int rowSpacing = 7;
    static constexpr int columnSpacing = 8;
    static constexpr int shareWidth = 56;
    static constexpr int valueWidth = 120;
    // In a narrow panel the value column gives way first, down to this; its figures shrink to fit.
    static constexpr int valueMinimumWidth = 88;

    explicit AllocationLegend(QWidget *parent = nullptr);

    void setContent(std::vector<AllocationItem> items, const CurrencyOption &currency);
    // Written afresh on every call, so the figures follow the system locale.
    QList<LegendRow> rows() const { return legendRows(m_items, m_currency); }
    // Where row i is drawn, in the legend's coordinates, and where its label goes inside it.
    QRectF rowRect(int index) const;
    QRectF labelRect(int index) const;
    // The whole label of the row under pos when the legend had to cut it; empty otherwise.
    QString toolTipAt(const QPointF &pos) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    qreal rowHeight() const;
    qreal shownValueWidth() const;

    std::vector<AllocationItem> m_items;
    CurrencyOption m_currency;
};

// A titled card holding an allocation's pie chart and its legend.
class AllocationPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int padding = 14;
    static constexpr int spacing = 12;
    static constexpr int minimumHeight = 210;
    static constexpr int titlePixelSize = 16;

    explicit AllocationPanel(QWidget *parent = nullptr);

    // More than maximumLegendRows buckets are folded into an "other" bucket named otherLabel.
    void setContent(const QString &title, std::vector<AllocationItem> items, const CurrencyOption &currency,
                    const QString &otherLabel);
    const QString &title() const { return m_title; }
    // Where the title is drawn, above the chart and legend.
    QRect titleRect() const;
    // The buckets as shown, after folding.
    const std::vector<AllocationItem> &items() const { return m_items; }
    const CurrencyOption &currency() const { return m_currency; }

    PieChart *pieChart() const { return m_pie; }
    AllocationLegend *legend() const { return m_legend; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    PieChart *m_pie;
    AllocationLegend *m_legend;
    std::vector<AllocationItem> m_items;
    CurrencyOption m_currency;
};

} // namespace quillfern

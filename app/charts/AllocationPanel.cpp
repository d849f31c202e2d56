#include "app/charts/AllocationPanel.h"

#include "app/charts/MetricCard.h"
#include "app/charts/Palette.h"
#include "app/charts/PieChart.h"
#include "app/charts/Typography.h"
#include "text/Formats.h"

#include <QBoxLayout>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QtMath>

#include <algorithm>

namespace quillfern {

namespace {

constexpr qreal labelMinimumScale = 0.8;
constexpr qreal figureMinimumScale = 0.72;
constexpr int labelMinimumWidth = 48;

QFont legendFont()
{
    return systemFont(13);
}

} // namespace

QList<LegendRow> legendRows(const std::vector<AllocationItem> &items, const CurrencyOption &currency,
                            const DisplayLocales &locales)
{
    QList<LegendRow> rows;
    const std::size_t count = std::min<std::size_t>(items.size(), maximumLegendRows);
    for (std::size_t i = 0; i < count; ++i) {
        const AllocationItem &item = items[i];
        rows.append(LegendRow{QString::fromStdString(item.label), percent(item.percentage, locales.numeric),
                              format(currency, item.valueUsd, false, locales.monetary), int(i)});
    }
    return rows;
}

AllocationLegend::AllocationLegend(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void AllocationLegend::setContent(std::vector<AllocationItem> items, const CurrencyOption &currency)
{
    const bool recounted = std::min<std::size_t>(items.size(), maximumLegendRows) !=
                           std::min<std::size_t>(m_items.size(), maximumLegendRows);
    m_items = std::move(items);
    m_currency = currency;
    if (recounted)
        updateGeometry();
    update();
}

qreal AllocationLegend::rowHeight() const
{
    return std::max<qreal>(QFontMetricsF(legendFont()).height(), dotSize);
}

QRectF AllocationLegend::rowRect(int index) const
{
    return QRectF(0, index * (rowHeight() + rowSpacing), width(), rowHeight());
}

QSize AllocationLegend::minimumSizeHint() const
{
    const int count = int(std::min<std::size_t>(m_items.size(), maximumLegendRows));
    const int height = count == 0 ? 0 : qCeil(count * rowHeight() + (count - 1) * rowSpacing);
    return {dotSize + labelMinimumWidth + shareWidth + valueWidth + 3 * columnSpacing, height};
}

QSize AllocationLegend::sizeHint() const
{
    return minimumSizeHint() + QSize(80, 0);
}

void AllocationLegend::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = legendFont();
    const QList<LegendRow> lines = rows();
    const qreal valueLeft = width() - valueWidth;
    const qreal shareLeft = valueLeft - columnSpacing - shareWidth;
    const qreal labelLeft = dotSize + columnSpacing;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LegendRow &line = lines[i];
        const QRectF row = rowRect(int(i));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::color(line.colourIndex, palette()));
        painter.drawEllipse(QRectF(0, row.center().y() - dotSize / 2.0, dotSize, dotSize));

        painter.setPen(Palette::primaryText(palette()));
        drawFittedText(
            painter,
            QRectF(labelLeft, row.top(), std::max<qreal>(0, shareLeft - columnSpacing - labelLeft), row.height()),
            Qt::AlignLeft | Qt::AlignVCenter, line.label, font, labelMinimumScale);
        painter.setPen(Palette::secondaryText(palette()));
        drawFittedText(painter, QRectF(shareLeft, row.top(), shareWidth, row.height()),
                       Qt::AlignRight | Qt::AlignVCenter, line.share, font, figureMinimumScale);
        painter.setPen(Palette::primaryText(palette()));
        drawFittedText(painter, QRectF(valueLeft, row.top(), valueWidth, row.height()),
                       Qt::AlignRight | Qt::AlignVCenter, line.value, font, figureMinimumScale);
    }
}

AllocationPanel::AllocationPanel(QWidget *parent)
    : QWidget(parent), m_title(new QLabel(this)), m_pie(new PieChart(this)), m_legend(new AllocationLegend(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setMinimumHeight(minimumHeight);
    m_title->setFont(systemFont(titlePixelSize, QFont::DemiBold));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *chartRow = new QHBoxLayout;
    chartRow->setSpacing(spacing);
    chartRow->addWidget(m_pie, 0, Qt::AlignVCenter);
    chartRow->addWidget(m_legend, 1, Qt::AlignVCenter);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(spacing);
    stack->addWidget(m_title);
    stack->addLayout(chartRow);
    stack->addStretch(1);
}

void AllocationPanel::setContent(const QString &title, std::vector<AllocationItem> items,
                                 const CurrencyOption &currency)
{
    m_title->setText(title);
    setAccessibleName(title);
    m_pie->setItems(items);
    m_legend->setContent(items, currency);
    m_items = std::move(items);
    m_currency = currency;
}

QString AllocationPanel::title() const
{
    return m_title->text();
}

void AllocationPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCardBackground(painter, rect(), palette());
}

} // namespace quillfern

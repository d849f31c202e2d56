#include "app/charts/AllocationPanel.h"

#include "app/charts/MetricCard.h"
#include "app/charts/Palette.h"
#include "app/charts/PieChart.h"
#include "app/charts/Typography.h"
#include "text/Formats.h"

#include <QBoxLayout>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
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

std::vector<AllocationItem> foldedAllocation(std::vector<AllocationItem> items, const QString &otherLabel)
{
    if (items.size() <= std::size_t(maximumLegendRows))
        return items;
    AllocationItem other{otherLabel.toStdString(), 0, 0};
    for (auto item = items.begin() + (maximumLegendRows - 1); item != items.end(); ++item) {
        other.valueUsd += item->valueUsd;
        other.percentage += item->percentage;
    }
    items.resize(maximumLegendRows - 1);
    items.push_back(std::move(other));
    return items;
}

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

qreal AllocationLegend::shownValueWidth() const
{
    const qreal room = width() - (dotSize + labelMinimumWidth + shareWidth + 3 * columnSpacing);
    return std::clamp<qreal>(room, valueMinimumWidth, valueWidth);
}

QRectF AllocationLegend::labelRect(int index) const
{
    const QRectF row = rowRect(index);
    const qreal shareLeft = width() - shownValueWidth() - columnSpacing - shareWidth;
    const qreal labelLeft = dotSize + columnSpacing;
    return QRectF(labelLeft, row.top(), std::max<qreal>(0, shareLeft - columnSpacing - labelLeft), row.height());
}

QString AllocationLegend::toolTipAt(const QPointF &pos) const
{
    const QList<LegendRow> lines = rows();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!rowRect(int(i)).contains(pos))
            continue;
        const QRectF label = labelRect(int(i));
        const QFont shown = fittedFont(legendFont(), lines[i].label, label.width(), labelMinimumScale);
        const bool cut = QFontMetricsF(shown).horizontalAdvance(lines[i].label) > label.width();
        return cut ? lines[i].label : QString();
    }
    return {};
}

bool AllocationLegend::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QString text = toolTipAt(help->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
}

QSize AllocationLegend::minimumSizeHint() const
{
    const int count = int(std::min<std::size_t>(m_items.size(), maximumLegendRows));
    const int height = count == 0 ? 0 : qCeil(count * rowHeight() + (count - 1) * rowSpacing);
    return {dotSize + labelMinimumWidth + shareWidth + valueMinimumWidth + 3 * columnSpacing, height};
}

QSize AllocationLegend::sizeHint() const
{
    return minimumSizeHint() + QSize(80 + valueWidth - valueMinimumWidth, 0);
}

void AllocationLegend::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = legendFont();
    const QList<LegendRow> lines = rows();
    const qreal valueLeft = width() - shownValueWidth();
    const qreal shareLeft = valueLeft - columnSpacing - shareWidth;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LegendRow &line = lines[i];
        const QRectF row = rowRect(int(i));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Palette::color(line.colourIndex, palette()));
        painter.drawEllipse(QRectF(0, row.center().y() - dotSize / 2.0, dotSize, dotSize));

        painter.setPen(Palette::primaryText(palette()));
        drawFittedText(painter, labelRect(int(i)), Qt::AlignLeft | Qt::AlignVCenter, line.label, font,
                       labelMinimumScale);
        painter.setPen(Palette::secondaryText(palette()));
        drawFittedText(painter, QRectF(shareLeft, row.top(), shareWidth, row.height()),
                       Qt::AlignRight | Qt::AlignVCenter, line.share, font, figureMinimumScale);
        painter.setPen(Palette::primaryText(palette()));
        drawFittedText(painter, QRectF(valueLeft, row.top(), shownValueWidth(), row.height()),
                       Qt::AlignRight | Qt::AlignVCenter, line.value, font, figureMinimumScale);
    }
}

namespace {

QFont titleFont()
{
    return systemFont(AllocationPanel::titlePixelSize, QFont::DemiBold);
}

} // namespace

AllocationPanel::AllocationPanel(QWidget *parent)
    : QWidget(parent), m_pie(new PieChart(this)), m_legend(new AllocationLegend(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setMinimumHeight(minimumHeight);

    auto *chartRow = new QHBoxLayout;
    chartRow->setSpacing(spacing);
    chartRow->addWidget(m_pie, 0, Qt::AlignVCenter);
    chartRow->addWidget(m_legend, 1, Qt::AlignVCenter);

    // The title is painted, not laid out, so a long one elides instead of widening the panel.
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding + titleRect().height() + spacing, padding, padding);
    stack->setSpacing(spacing);
    stack->addLayout(chartRow);
    stack->addStretch(1);
}

void AllocationPanel::setContent(const QString &title, std::vector<AllocationItem> items,
                                 const CurrencyOption &currency, const QString &otherLabel)
{
    items = foldedAllocation(std::move(items), otherLabel);
    if (m_title != title) {
        m_title = title;
        update();
    }
    setAccessibleName(title);
    m_pie->setItems(items);
    m_legend->setContent(items, currency);
    m_items = std::move(items);
    m_currency = currency;
}

QRect AllocationPanel::titleRect() const
{
    return QRect(padding, padding, qMax(0, width() - 2 * padding), qCeil(QFontMetricsF(titleFont()).height()));
}

void AllocationPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCardBackground(painter, rect(), palette());
    painter.setPen(Palette::primaryText(palette()));
    drawFittedText(painter, titleRect(), Qt::AlignLeft | Qt::AlignVCenter, m_title, titleFont(), 1);
}

} // namespace quillfern

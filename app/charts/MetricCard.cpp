#include "app/charts/MetricCard.h"

#include "app/charts/Typography.h"

#include <QFontMetrics>
#include <QPainter>

namespace quillfern {

namespace {

QFont valueFont()
{
    return systemFont(MetricCard::valuePixelSize, QFont::DemiBold);
}

} // namespace

FigureTone gainTone(double value)
{
    return value >= 0 ? FigureTone::Green : FigureTone::Red;
}

void paintCardBackground(QPainter &painter, const QRectF &rect, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Inset by half the pen so the 1-pixel outline falls on whole pixels.
    const QRectF outline = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(Palette::separator(palette), 1));
    painter.setBrush(Palette::controlBackground(palette));
    painter.drawRoundedRect(outline, MetricCard::cornerRadius, MetricCard::cornerRadius);
    painter.restore();
}

MetricCard::MetricCard(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void MetricCard::setFigure(const MetricFigure &figure)
{
    if (m_figure == figure)
        return;
    const bool resized = m_figure.title != figure.title || m_figure.value != figure.value;
    m_figure = figure;
    setAccessibleName(figure.title);
    setAccessibleDescription(figure.value);
    if (resized)
        updateGeometry();
    update();
}

QColor MetricCard::valueColour() const
{
    return Palette::tone(m_figure.tone, palette());
}

QSize MetricCard::sizeHint() const
{
    const QFontMetrics title(captionFont());
    const QFontMetrics value(valueFont());
    const int width = qMax(title.horizontalAdvance(m_figure.title), value.horizontalAdvance(m_figure.value));
    return {width + 2 * padding, title.height() + spacing + value.height() + 2 * padding};
}

QSize MetricCard::minimumSizeHint() const
{
    // Cards share the strip's width; a value too long for its share shrinks, then elides, instead of
    // pushing the window wider.
    return {2 * padding + 40, sizeHint().height()};
}

void MetricCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCardBackground(painter, rect(), palette());

    const QFont title = captionFont();
    const QFont value = valueFont();
    const QRectF content = QRectF(rect()).adjusted(padding, padding, -padding, -padding);
    const qreal titleHeight = QFontMetricsF(title).height();

    painter.setPen(Palette::secondaryText(palette()));
    drawFittedText(painter, QRectF(content.left(), content.top(), content.width(), titleHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, m_figure.title, title, 0.9);
    painter.setPen(valueColour());
    drawFittedText(
        painter,
        QRectF(content.left(), content.top() + titleHeight + spacing, content.width(), QFontMetricsF(value).height()),
        Qt::AlignLeft | Qt::AlignVCenter, m_figure.value, value, 0.6);
}

} // namespace quillfern

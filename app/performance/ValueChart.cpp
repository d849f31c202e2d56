#include "app/performance/ValueChart.h"

#include "app/charts/MetricCard.h"
#include "app/charts/Palette.h"
#include "app/charts/Typography.h"
#include "text/Dates.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quillfern {
namespace {

constexpr qreal padding = 14;
constexpr qreal labelGap = 8;
constexpr qreal dayLabelSpacing = 110; // at least this many pixels per date under the plot

QFont labelFont()
{
    return systemFont(11);
}

} // namespace

ValueChart::ValueChart(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ValueChart::setSeries(QList<PerformancePoint> series, const CurrencyOption &currency,
                           const QString &languageCode, const QString &dateLocale, const QString &monetaryLocale)
{
    m_series = std::move(series);
    m_currency = currency;
    m_language = languageCode;
    m_dateLocale = dateLocale;
    m_monetaryLocale = monetaryLocale;
    m_crosshair.reset();
    m_legendValue = AppText::value(u"chartValue", languageCode);
    m_legendInvested = AppText::value(u"chartInvested", languageCode);
    setAccessibleName(AppText::value(u"valueOverTime", languageCode));
    relayout();
    update();
}

void ValueChart::relayout()
{
    m_valueLabels.clear();
    m_dayLabels.clear();
    m_axis = valueAxis(m_series);
    const QFontMetricsF metrics(labelFont());
    QStringList texts;
    qreal labelWidth = 0;
    for (const double tick : std::as_const(m_axis.ticks)) {
        texts.append(compactMoney(m_currency, tick, m_monetaryLocale));
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(texts.last()));
    }
    const qreal top = padding + metrics.height() + labelGap;
    m_plot = QRectF(QPointF(padding + labelWidth + labelGap, top),
                    QPointF(width() - padding, height() - padding - metrics.height() - labelGap));
    for (qsizetype i = 0; i < texts.size(); ++i)
        m_valueLabels.append({valueY(m_axis.ticks[i], m_axis, m_plot), texts[i]});

    m_xs = dayPositions(m_series, m_plot);
    m_value = seriesLine(m_series, &PerformancePoint::value, m_xs, m_axis, m_plot);
    m_invested = seriesLine(m_series, &PerformancePoint::invested, m_xs, m_axis, m_plot);
    if (m_series.isEmpty() || m_plot.width() <= 0)
        return;

    // Dates at even steps of the series, as many as fit; a long period names months, a short one days.
    const QDate first = QDate::fromString(m_series.first().date, Qt::ISODate);
    const QDate last = QDate::fromString(m_series.last().date, Qt::ISODate);
    const QString skeleton = first.daysTo(last) > 300 ? QStringLiteral("yMMM") : QStringLiteral("MMMd");
    const int slots = std::max(1, int(m_plot.width() / dayLabelSpacing));
    const qsizetype count = m_series.size();
    if (skeleton == QLatin1String("yMMM")) {
        // A month's name stands where the month begins, every so many months as fit.
        const int months = int(first.daysTo(last) / 30) + 1;
        const int step = std::max(1, (months + slots - 1) / slots);
        QDate month(first.year(), first.month(), 1);
        if (month < first)
            month = month.addMonths(1);
        for (; month <= last; month = month.addMonths(step)) {
            const QString start = month.toString(Qt::ISODate);
            const auto at = std::lower_bound(m_series.cbegin(), m_series.cend(), start,
                                             [](const PerformancePoint &point, const QString &day) { return point.date < day; });
            if (at != m_series.cend())
                m_dayLabels.append({m_xs[std::size_t(at - m_series.cbegin())], displayDayAs(month, skeleton, m_dateLocale)});
        }
    } else {
        const int labels = int(std::min<qsizetype>(count, slots + 1));
        for (int i = 0; i < labels; ++i) {
            const qsizetype index =
                labels == 1 ? 0 : qsizetype(std::llround(double(i) * double(count - 1) / (labels - 1)));
            const QDate day = QDate::fromString(m_series[index].date, Qt::ISODate);
            if (day.isValid())
                m_dayLabels.append({m_xs[std::size_t(index)], displayDayAs(day, skeleton, m_dateLocale)});
        }
    }
    // The last day keeps its label; the one before it goes when the two would touch at the right edge.
    if (m_dayLabels.size() >= 2) {
        const auto &[lastX, lastText] = m_dayLabels.last();
        const auto &[beforeX, beforeText] = m_dayLabels[m_dayLabels.size() - 2];
        const qreal lastLeft = std::min(lastX - metrics.horizontalAdvance(lastText) / 2,
                                        width() - padding - metrics.horizontalAdvance(lastText));
        if (beforeX + metrics.horizontalAdvance(beforeText) / 2 + labelGap > lastLeft)
            m_dayLabels.removeAt(m_dayLabels.size() - 2);
    }
}

void ValueChart::resizeEvent(QResizeEvent *event)
{
    relayout();
    QWidget::resizeEvent(event);
}

void ValueChart::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        relayout();
    QWidget::changeEvent(event);
}

void ValueChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintCardBackground(painter, rect(), palette());
    const QPalette &pal = palette();
    const QFont font = labelFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);

    // Grid and value labels.
    painter.setPen(QPen(Palette::separator(pal), 1));
    for (const auto &[y, text] : std::as_const(m_valueLabels))
        painter.drawLine(QPointF(m_plot.left(), y), QPointF(m_plot.right(), y));
    painter.setPen(Palette::secondaryText(pal));
    for (const auto &[y, text] : std::as_const(m_valueLabels)) {
        const QRectF box(padding, y - metrics.height() / 2, m_plot.left() - labelGap - padding, metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, text);
    }
    const qreal dayTop = m_plot.bottom() + labelGap;
    for (qsizetype i = 0; i < m_dayLabels.size(); ++i) {
        const auto &[x, text] = m_dayLabels[i];
        const qreal w = metrics.horizontalAdvance(text);
        // The first and last labels keep inside the plot's edges.
        const qreal left = std::clamp(x - w / 2, m_plot.left() - labelGap, width() - padding - w);
        painter.drawText(QRectF(left, dayTop, w + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
    }

    // Legend.
    const QColor valueColour = Palette::blue(pal);
    const QColor investedColour = Palette::system(SystemColour::Orange, pal);
    qreal x = m_plot.left();
    for (const auto &[colour, text] : {std::pair{valueColour, m_legendValue}, std::pair{investedColour, m_legendInvested}}) {
        painter.fillRect(QRectF(x, padding + metrics.height() / 2 - 1.5, 14, 3), colour);
        x += 20;
        painter.setPen(Palette::secondaryText(pal));
        painter.drawText(QPointF(x, padding + metrics.ascent()), text);
        x += metrics.horizontalAdvance(text) + 18;
    }

    if (m_value.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(m_plot.adjusted(-2, -2, 2, 2));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(investedColour, 1.5, Qt::DashLine));
    painter.drawPolyline(m_invested);
    painter.setPen(QPen(valueColour, 2));
    painter.drawPolyline(m_value);

    if (m_crosshair && *m_crosshair < m_value.size()) {
        const QPointF at = m_value[*m_crosshair];
        painter.setPen(QPen(Palette::secondaryText(pal), 1, Qt::DotLine));
        painter.drawLine(QPointF(at.x(), m_plot.top()), QPointF(at.x(), m_plot.bottom()));
        painter.setPen(QPen(Palette::controlBackground(pal), 2));
        painter.setBrush(valueColour);
        painter.drawEllipse(at, 4.5, 4.5);
        paintTip(painter, at);
    }
}

void ValueChart::paintTip(QPainter &painter, const QPointF &at) const
{
    // Drawn in the chart rather than as a tooltip window: it follows the crosshair without a window of its
    // own, keyboard moves included, and sits on the side of the point with room for it.
    painter.setClipping(false);
    const QFontMetricsF metrics(labelFont());
    const QStringList lines = m_tip.split(QLatin1Char('\n'));
    qreal textWidth = 0;
    for (const QString &line : lines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    const QSizeF size(textWidth + 2 * labelGap, metrics.height() * qreal(lines.size()) + 2 * labelGap);
    QPointF corner(at.x() + 12, m_plot.top() + 4);
    if (corner.x() + size.width() > m_plot.right())
        corner.setX(at.x() - 12 - size.width());
    const QRectF box(corner, size);
    painter.setPen(QPen(Palette::separator(palette()), 1));
    painter.setBrush(Palette::controlBackground(palette()));
    painter.drawRoundedRect(box, 6, 6);
    painter.setPen(Palette::primaryText(palette()));
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(box.left() + labelGap, box.top() + labelGap + metrics.ascent() + metrics.height() * qreal(i)),
                         lines[i]);
}

QString ValueChart::dayText(int index) const
{
    if (index < 0 || index >= m_series.size())
        return {};
    const PerformancePoint &point = m_series[index];
    const QDate day = QDate::fromString(point.date, Qt::ISODate);
    return (day.isValid() ? displayDay(day, m_dateLocale) : point.date) + QLatin1Char('\n') +
           AppText::format(u"chartValueLine", m_language, {format(m_currency, point.value, false, m_monetaryLocale)}) +
           QLatin1Char('\n') +
           AppText::format(u"chartGainLine", m_language,
                           {format(m_currency, point.value - point.invested, true, m_monetaryLocale)});
}

void ValueChart::setCrosshair(std::optional<int> index)
{
    if (index && (*index < 0 || *index >= m_series.size()))
        index.reset();
    if (index == m_crosshair)
        return;
    m_crosshair = index;
    m_tip = index ? dayText(*index) : QString();
    setAccessibleDescription(m_tip);
    update();
}

void ValueChart::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    if (!m_plot.adjusted(-labelGap, 0, labelGap, 0).contains(at)) {
        setCrosshair(std::nullopt);
        return;
    }
    setCrosshair(nearestDay(m_xs, at.x()));
}

void ValueChart::leaveEvent(QEvent *event)
{
    setCrosshair(std::nullopt);
    QWidget::leaveEvent(event);
}

void ValueChart::keyPressEvent(QKeyEvent *event)
{
    const int step = event->key() == Qt::Key_Left ? -1 : (event->key() == Qt::Key_Right ? 1 : 0);
    if (step == 0 || m_series.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // The first press shows the latest day; each next one moves a day.
    const int last = int(m_series.size()) - 1;
    setCrosshair(m_crosshair ? std::clamp(*m_crosshair + step, 0, last) : last);
    event->accept();
}

} // namespace quillfern

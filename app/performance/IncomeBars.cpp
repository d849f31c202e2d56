#include "app/performance/IncomeBars.h"

#include "app/charts/Palette.h"
#include "app/charts/Typography.h"
#include "text/Dates.h"
#include "text/Formats.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quillfern {

IncomeBars::IncomeBars(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setMinimumHeight(160);
}

void IncomeBars::setMonths(QList<MonthIncome> months, const CurrencyOption &currency, const QString &dateLocale,
                           const QString &monetaryLocale, const QString &noIncome)
{
    m_months = std::move(months);
    m_noIncome = noIncome;
    m_labels.clear();
    double peak = 0;
    QStringList described;
    for (const MonthIncome &month : std::as_const(m_months)) {
        const QDate first = QDate::fromString(month.month + QStringLiteral("-01"), Qt::ISODate);
        m_labels.append(first.isValid() ? displayDayAs(first, QStringLiteral("MMM"), dateLocale) : month.month);
        peak = std::max(peak, std::abs(month.amount));
        described.append((first.isValid() ? displayDayAs(first, QStringLiteral("yMMM"), dateLocale) : month.month) +
                         QStringLiteral(": ") + format(currency, month.amount, false, monetaryLocale));
    }
    m_peak = m_months.isEmpty() ? QString() : compactMoney(currency, peak, monetaryLocale);
    setAccessibleDescription(m_months.isEmpty() ? noIncome : described.join(QStringLiteral("; ")));
    update();
}

void IncomeBars::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &pal = palette();
    const QFont font = systemFont(11);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    if (m_months.isEmpty()) {
        painter.setPen(Palette::secondaryText(pal));
        painter.drawText(rect(), Qt::AlignCenter, m_noIncome);
        return;
    }
    double high = 0;
    double low = 0;
    for (const MonthIncome &month : std::as_const(m_months)) {
        high = std::max(high, month.amount);
        low = std::min(low, month.amount);
    }
    const QRectF plot = QRectF(rect()).adjusted(2, metrics.height() + 6, -2, -(metrics.height() + 6));
    const double span = high - low > 0 ? high - low : 1;
    const qreal zero = plot.top() + plot.height() * high / span;
    const qreal slot = plot.width() / qreal(m_months.size());
    const qreal bar = std::clamp<qreal>(slot * 0.7, 1, 36);

    painter.setPen(Palette::secondaryText(pal));
    painter.drawText(QRectF(plot.left(), 0, plot.width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, m_peak);
    painter.setPen(QPen(Palette::separator(pal), 1));
    painter.drawLine(QPointF(plot.left(), zero), QPointF(plot.right(), zero));
    painter.setPen(Qt::NoPen);
    for (qsizetype i = 0; i < m_months.size(); ++i) {
        const double amount = m_months[i].amount;
        const qreal height = plot.height() * std::abs(amount) / span;
        const qreal left = plot.left() + slot * qreal(i) + (slot - bar) / 2;
        painter.setBrush(amount >= 0 ? Palette::green(pal) : Palette::red(pal));
        painter.drawRect(QRectF(left, amount >= 0 ? zero - height : zero, bar, height));
    }
    // Month names under the bars, every so many when they would crowd.
    const qreal widest = metrics.horizontalAdvance(QStringLiteral("MMMM"));
    const qsizetype every = std::max<qsizetype>(1, qsizetype(std::ceil(widest / slot)));
    painter.setPen(Palette::secondaryText(pal));
    for (qsizetype i = 0; i < m_months.size(); i += every) {
        const QRectF box(plot.left() + slot * qreal(i) + slot / 2 - widest / 2, plot.bottom() + 4, widest,
                         metrics.height());
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, m_labels[i]);
    }
}

} // namespace quillfern

#include "app/charts/Typography.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QtMath>

namespace quillfern {

QFont systemFont(qreal pixelSize, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    font.setWeight(weight);
    return font;
}

QFont captionFont()
{
    return systemFont(11);
}

QFont fittedFont(const QFont &font, const QString &text, qreal width, qreal minimumScale)
{
    const qreal natural = QFontMetricsF(font).horizontalAdvance(text);
    if (natural <= width || natural <= 0)
        return font;
    const int size = font.pixelSize() > 0 ? font.pixelSize() : qRound(QFontMetricsF(font).height());
    const int smallest = qMax(1, qCeil(size * minimumScale));
    QFont fitted = font;
    // Whole pixel sizes, largest first: text advances do not scale exactly with the size.
    for (int candidate = size - 1; candidate >= smallest; --candidate) {
        fitted.setPixelSize(candidate);
        if (QFontMetricsF(fitted).horizontalAdvance(text) <= width)
            return fitted;
    }
    fitted.setPixelSize(smallest);
    return fitted;
}

void drawFittedText(QPainter &painter, const QRectF &rect, Qt::Alignment alignment, const QString &text,
                    const QFont &font, qreal minimumScale)
{
    const QFont fitted = fittedFont(font, text, rect.width(), minimumScale);
    const QFontMetricsF metrics(fitted);
    painter.setFont(fitted);
    painter.drawText(rect, int(alignment | Qt::TextSingleLine), metrics.elidedText(text, Qt::ElideRight, rect.width()));
}

} // namespace quillfern

#pragma once

// Fonts and one-line text fitting for the statistics views. Sizes are device-independent pixels, and every
// font derives from the application font so that CJK text falls back to a font that has its glyphs.

#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace quillfern {

QFont systemFont(qreal pixelSize, QFont::Weight weight = QFont::Normal);
// The small font of secondary captions such as card titles.
QFont captionFont();

// font shrunk just enough for text to fit width, but not below minimumScale of its size.
QFont fittedFont(const QFont &font, const QString &text, qreal width, qreal minimumScale);

// Draws text on one line inside rect: shrunk down to minimumScale, then elided if it still does not fit.
void drawFittedText(QPainter &painter, const QRectF &rect, Qt::Alignment alignment, const QString &text,
                    const QFont &font, qreal minimumScale);

} // namespace quillfern

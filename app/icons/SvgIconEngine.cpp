#include "app/icons/SvgIconEngine.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace quillfern {

namespace {

// A fixed colour keeps its hue when disabled and only fades, the way a disabled label does.
constexpr qreal disabledOpacity = 0.4;

QByteArray withColour(const QByteArray &svg, const QColor &colour)
{
    if (!colour.isValid())
        return svg;
    QByteArray recoloured = svg;
    recoloured.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    return recoloured;
}

} // namespace

SvgIconEngine::SvgIconEngine(const QByteArray &svg, const QString &cacheKey, Colouring colouring, const QColor &colour)
    : m_svg(svg), m_cacheKey(cacheKey), m_colouring(colouring), m_colour(colour)
{
}

SvgIconEngine *SvgIconEngine::asDrawn(const QByteArray &svg, const QString &cacheKey)
{
    return new SvgIconEngine(svg, cacheKey, Colouring::AsDrawn, QColor());
}

SvgIconEngine *SvgIconEngine::followingPalette(const QByteArray &svg, const QString &cacheKey)
{
    return new SvgIconEngine(svg, cacheKey, Colouring::Palette, QColor());
}

SvgIconEngine *SvgIconEngine::tinted(const QByteArray &svg, const QString &cacheKey, const QColor &colour)
{
    return new SvgIconEngine(svg, cacheKey, Colouring::Fixed, colour);
}

QColor SvgIconEngine::colourFor(QIcon::Mode mode) const
{
    switch (m_colouring) {
    case Colouring::AsDrawn:
        return QColor();
    case Colouring::Fixed: {
        QColor colour = m_colour;
        if (mode == QIcon::Disabled)
            colour.setAlphaF(colour.alphaF() * disabledOpacity);
        return colour;
    }
    case Colouring::Palette:
        break;
    }
    const QPalette palette = QGuiApplication::palette();
    switch (mode) {
    case QIcon::Disabled:
        return palette.color(QPalette::Disabled, QPalette::ButtonText);
    case QIcon::Selected:
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    case QIcon::Normal:
    case QIcon::Active:
        break;
    }
    return palette.color(QPalette::Active, QPalette::ButtonText);
}

void SvgIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    const QColor colour = colourFor(mode);
    QSvgRenderer renderer(withColour(m_svg, colour));
    if (!renderer.isValid())
        return;
    // Keep the drawing's proportions and centre it, as a theme icon of another aspect would be.
    QSizeF drawn = renderer.defaultSize();
    drawn.scale(rect.size(), Qt::KeepAspectRatio);
    const QRectF target(rect.x() + (rect.width() - drawn.width()) / 2, rect.y() + (rect.height() - drawn.height()) / 2,
                        drawn.width(), drawn.height());
    painter->save();
    if (colour.isValid())
        painter->setOpacity(painter->opacity() * colour.alphaF());
    renderer.render(painter, target);
    painter->restore();
}

QPixmap SvgIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    if (size.isEmpty())
        return QPixmap();
    const QColor colour = colourFor(mode);
    const QString key = QStringLiteral("quillfern-svg:%1:%2:%3x%4")
                            .arg(m_cacheKey, colour.isValid() ? colour.name(QColor::HexArgb) : QStringLiteral("-"))
                            .arg(size.width())
                            .arg(size.height());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap(size);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    }
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QSize SvgIconEngine::actualSize(const QSize &size, QIcon::Mode, QIcon::State)
{
    return size;
}

QIconEngine *SvgIconEngine::clone() const
{
    return new SvgIconEngine(m_svg, m_cacheKey, m_colouring, m_colour);
}

QString SvgIconEngine::key() const
{
    return QStringLiteral("QuillfernSvgIconEngine");
}

bool SvgIconEngine::isNull()
{
    return m_svg.isEmpty();
}

} // namespace quillfern

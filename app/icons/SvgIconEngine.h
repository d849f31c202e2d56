#pragma once

#include <QByteArray>
#include <QColor>
#include <QIconEngine>

namespace quillfern {

// Draws an SVG at whatever size is asked for. A symbol drawing paints with `currentColor`; the engine
// substitutes either a fixed colour or, at paint time, the application palette's text colour for the
// icon's mode, so the same drawing reads on light and dark palettes and greys out when disabled.
class SvgIconEngine final : public QIconEngine {
public:
    enum class Colouring { AsDrawn, Palette, Fixed };

    static SvgIconEngine *asDrawn(const QByteArray &svg, const QString &cacheKey);
    static SvgIconEngine *followingPalette(const QByteArray &svg, const QString &cacheKey);
    static SvgIconEngine *tinted(const QByteArray &svg, const QString &cacheKey, const QColor &colour);

    // The colour `currentColor` becomes for a mode; invalid for a drawing shown as drawn.
    QColor colourFor(QIcon::Mode mode) const;

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QString key() const override;
    bool isNull() override;

private:
    SvgIconEngine(const QByteArray &svg, const QString &cacheKey, Colouring colouring, const QColor &colour);

    QByteArray m_svg;
    QString m_cacheKey;
    Colouring m_colouring;
    QColor m_colour;
};

} // namespace quillfern

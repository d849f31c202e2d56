#include "app/charts/Palette.h"

#include <QGuiApplication>

#include <array>

namespace quillfern {

namespace {

struct Variants {
    QRgb light;
    QRgb dark;
};

// Light variants are dark enough to read as text on white; dark variants are lifted for dark windows.
constexpr std::array<Variants, Palette::size> systemColours{{
    {0x1F6FD6, 0x4C9DFF}, // blue
    {0x0E8F9C, 0x40C8D6}, // teal
    {0x23913F, 0x4CCF6A}, // green
    {0xE07000, 0xFF9F40}, // orange
    {0xD0342C, 0xFF6259}, // red
    {0x8A4BC4, 0xB98AF0}, // purple
    {0xD9A800, 0xFFD84A}, // yellow
    {0xD63C78, 0xFF70A6}, // pink
}};

QColor blend(const QColor &over, const QColor &under, double share)
{
    return QColor::fromRgbF(float(over.redF() * share + under.redF() * (1 - share)),
                            float(over.greenF() * share + under.greenF() * (1 - share)),
                            float(over.blueF() * share + under.blueF() * (1 - share)));
}

} // namespace

bool Palette::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor Palette::system(SystemColour colour, const QPalette &palette)
{
    const Variants &variants = systemColours.at(std::size_t(colour));
    return QColor::fromRgb(isDark(palette) ? variants.dark : variants.light);
}

SystemColour Palette::colourAt(int index)
{
    return SystemColour(((index % size) + size) % size);
}

QColor Palette::color(int index, const QPalette &palette)
{
    return system(colourAt(index), palette);
}

QColor Palette::color(int index)
{
    return color(index, QGuiApplication::palette());
}

QColor Palette::tone(FigureTone tone, const QPalette &palette)
{
    switch (tone) {
    case FigureTone::Primary:
        return primaryText(palette);
    case FigureTone::Secondary:
        return secondaryText(palette);
    case FigureTone::Green:
        return green(palette);
    case FigureTone::Red:
        return red(palette);
    case FigureTone::Blue:
        return blue(palette);
    }
    return primaryText(palette);
}

QColor Palette::tint(const QColor &colour, double opacity)
{
    QColor tinted = colour;
    tinted.setAlphaF(float(qBound(0.0, opacity, 1.0)));
    return tinted;
}

QColor Palette::primaryText(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor Palette::secondaryText(const QPalette &palette)
{
    // Opaque, so text drawn over a translucent tint keeps its contrast.
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Base), 0.6);
}

QColor Palette::controlBackground(const QPalette &palette)
{
    return palette.color(QPalette::Base);
}

QColor Palette::separator(const QPalette &palette)
{
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Base), isDark(palette) ? 0.28 : 0.16);
}

} // namespace quillfern

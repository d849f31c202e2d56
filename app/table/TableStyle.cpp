#include "app/table/TableStyle.h"

#include <QApplication>

namespace quillfern::table {

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

// Light and dark variants of the usual system colours: the dark ones are lifted so text stays legible.
QColor green(const QPalette &palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(36, 138, 61);
}

QColor blue(const QPalette &palette)
{
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255);
}

QColor red(const QPalette &palette)
{
    return isDark(palette) ? QColor(255, 69, 58) : QColor(215, 0, 21);
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

QColor separator(const QPalette &palette)
{
    QColor line = palette.color(QPalette::WindowText);
    line.setAlphaF(isDark(palette) ? 0.28f : 0.18f);
    return line;
}

QColor primaryText(const QPalette &palette)
{
    return palette.color(QPalette::Text);
}

QColor secondaryText(const QPalette &palette)
{
    QColor text = palette.color(QPalette::Text);
    text.setAlphaF(0.55f);
    return text;
}

QColor textBackground(const QPalette &palette)
{
    return palette.color(QPalette::Base);
}

QFont uiFont(int points, QFont::Weight weight)
{
    QFont font = QApplication::font();
    // Layout sizes are device-independent pixels throughout, and so are type sizes.
    font.setPixelSize(points);
    font.setWeight(weight);
    return font;
}

QFont headerFont()
{
    return uiFont(13, QFont::DemiBold);
}

} // namespace quillfern::table

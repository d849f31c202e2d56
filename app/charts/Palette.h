#pragma once

// The chart colours and the semantic figure colours every statistics view shares. Each colour has a light
// and a dark variant, picked from the palette's window colour, so slices and figures stay readable in both.

#include <QColor>
#include <QPalette>

namespace quillfern {

// The system colours the window draws with, by name.
enum class SystemColour { Blue, Teal, Green, Orange, Red, Purple, Yellow, Pink };

// How a figure's value is coloured: gains and market values green, losses red, account totals blue,
// everything else in the primary or secondary text colour.
enum class FigureTone { Primary, Secondary, Green, Red, Blue };

class Palette {
public:
    static constexpr int size = 8;

    // Whether the palette is a dark appearance: its window colour is darker than mid-grey.
    static bool isDark(const QPalette &palette);

    static QColor system(SystemColour colour, const QPalette &palette);
    // The chart colour for an index: blue, teal, green, orange, red, purple, yellow, pink, repeating.
    // Negative indices wrap the same way, so no index is out of range.
    static SystemColour colourAt(int index);
    static QColor color(int index, const QPalette &palette);
    static QColor color(int index);

    static QColor tone(FigureTone tone, const QPalette &palette);
    static QColor green(const QPalette &palette) { return system(SystemColour::Green, palette); }
    static QColor red(const QPalette &palette) { return system(SystemColour::Red, palette); }
    static QColor blue(const QPalette &palette) { return system(SystemColour::Blue, palette); }
    // A colour at the given opacity, for header tints and total-row backgrounds.
    static QColor tint(const QColor &colour, double opacity);

    static QColor primaryText(const QPalette &palette);
    static QColor secondaryText(const QPalette &palette);
    // The fill behind cards and panels, and the hairline around them.
    static QColor controlBackground(const QPalette &palette);
    static QColor separator(const QPalette &palette);
};

} // namespace quillfern

#pragma once

// Shared looks of the app's tables: fixed row height, column minimum, and the few colours the cells use,
// all taken from the widget palette so light and dark desktop themes both stay readable.

#include <QColor>
#include <QFont>
#include <QPalette>

namespace quillfern::table {

inline constexpr int rowHeight = 34;
inline constexpr int minimumColumnWidth = 56;
inline constexpr int cellInset = 6;
inline constexpr int editorInset = 3;

QColor withOpacity(QColor colour, double opacity);

// The system's green, blue and red, in a shade that reads on the palette's base colour.
QColor green(const QPalette &palette);
QColor blue(const QPalette &palette);
QColor red(const QPalette &palette);
QColor accent(const QPalette &palette);
QColor separator(const QPalette &palette);
QColor primaryText(const QPalette &palette);
QColor secondaryText(const QPalette &palette);
QColor textBackground(const QPalette &palette);
bool isDark(const QPalette &palette);

// The header's 13-point semibold and the given weight of the application font at size points.
QFont headerFont();
QFont uiFont(int points, QFont::Weight weight = QFont::Normal);

} // namespace quillfern::table

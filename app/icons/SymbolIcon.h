#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

namespace quillfern {

// The icon for a named system symbol such as "arrow.clockwise". The desktop's icon theme is asked first,
// under the freedesktop names that fit the symbol; without a match the drawing shipped with the program
// is used, painted in the palette's button text colour. A name with neither gives a null icon.
QIcon symbolIcon(const QString &systemName);

// The shipped drawing in a fixed colour, for places that colour a symbol (a green checkmark, a red
// warning). Theme icons carry their own colours, so the theme is not asked.
QIcon symbolIcon(const QString &systemName, const QColor &colour);

// The application's own icon: the installed theme icon when there is one, else the shipped drawing.
QIcon appIcon();

struct SymbolThemeNames {
    QString systemName;
    QStringList themeNames; // tried in order
};

// Every symbol with a freedesktop equivalent, and the names it is looked up under.
const QList<SymbolThemeNames> &symbolThemeNames();

// Whether a drawing for the symbol is compiled into the program.
bool hasShippedSymbol(const QString &systemName);

} // namespace quillfern

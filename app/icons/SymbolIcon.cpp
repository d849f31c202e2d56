#include "app/icons/SymbolIcon.h"

#include "app/icons/SvgIconEngine.h"

#include <QFile>

#include <QtGlobal>
#include <algorithm>

// The resources live in a static library, whose registration code the linker would drop unasked.
static void initialiseIconResources()
{
    Q_INIT_RESOURCE(quillfern_icons);
}

namespace quillfern {

namespace {

const QString appIconName = QStringLiteral("io.quillfern.Quillfern");

void ensureResources()
{
    static const bool initialised = (initialiseIconResources(), true);
    Q_UNUSED(initialised);
}

// Symbol names are dotted lower-case words; anything else (a path, a stray capital) names no drawing.
bool isSymbolName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'.') || name.endsWith(u'.') || name.contains(QStringLiteral("..")))
        return false;
    return std::all_of(name.cbegin(), name.cend(),
                       [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'.'; });
}

// Empty for a name that cannot be a symbol, which no file answers to.
QString shippedPath(const QString &systemName)
{
    return isSymbolName(systemName) ? QStringLiteral(":/quillfern/symbols/%1.svg").arg(systemName) : QString();
}

QByteArray shippedDrawing(const QString &path)
{
    ensureResources();
    if (path.isEmpty())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QIcon themeIcon(const QString &systemName)
{
    for (const SymbolThemeNames &entry : symbolThemeNames()) {
        if (entry.systemName != systemName)
            continue;
        for (const QString &name : entry.themeNames) {
            if (QIcon::hasThemeIcon(name))
                return QIcon::fromTheme(name);
        }
    }
    return QIcon();
}

} // namespace

const QList<SymbolThemeNames> &symbolThemeNames()
{
    // Names from the freedesktop icon naming list where one exists, then the ones common themes add.
    // A symbol without a fitting name (a bank with a plus badge, a banknote) always uses its drawing.
    static const QList<SymbolThemeNames> names = {
        {QStringLiteral("arrow.clockwise"), {QStringLiteral("view-refresh")}},
        {QStringLiteral("chart.line.uptrend.xyaxis.circle.fill"), {QStringLiteral("office-chart-line")}},
        {QStringLiteral("chart.pie"), {QStringLiteral("office-chart-pie")}},
        {QStringLiteral("checkmark"), {QStringLiteral("object-select"), QStringLiteral("dialog-ok")}},
        {QStringLiteral("checkmark.circle.fill"), {QStringLiteral("dialog-ok-apply"), QStringLiteral("dialog-ok")}},
        {QStringLiteral("chevron.down"), {QStringLiteral("pan-down"), QStringLiteral("go-down")}},
        {QStringLiteral("chevron.up"), {QStringLiteral("pan-up"), QStringLiteral("go-up")}},
        {QStringLiteral("exclamationmark.triangle.fill"), {QStringLiteral("dialog-warning")}},
        {QStringLiteral("list.bullet.rectangle"), {QStringLiteral("view-list-details"), QStringLiteral("view-list")}},
        {QStringLiteral("person.crop.circle.fill"), {QStringLiteral("avatar-default")}},
        {QStringLiteral("plus"), {QStringLiteral("list-add")}},
        {QStringLiteral("trash"), {QStringLiteral("edit-delete")}},
        {QStringLiteral("xmark.circle"), {QStringLiteral("dialog-cancel")}},
    };
    return names;
}

bool hasShippedSymbol(const QString &systemName)
{
    ensureResources();
    const QString path = shippedPath(systemName);
    return !path.isEmpty() && QFile::exists(path);
}

QIcon symbolIcon(const QString &systemName)
{
    if (QIcon fromTheme = themeIcon(systemName); !fromTheme.isNull())
        return fromTheme;
    const QString path = shippedPath(systemName);
    const QByteArray drawing = shippedDrawing(path);
    if (drawing.isEmpty()) {
        qWarning("quillfern: no icon for the symbol \"%s\"", qUtf8Printable(systemName));
        return QIcon();
    }
    return QIcon(SvgIconEngine::followingPalette(drawing, path));
}

QIcon symbolIcon(const QString &systemName, const QColor &colour)
{
    const QString path = shippedPath(systemName);
    const QByteArray drawing = shippedDrawing(path);
    if (drawing.isEmpty()) {
        qWarning("quillfern: no icon for the symbol \"%s\"", qUtf8Printable(systemName));
        return QIcon();
    }
    return QIcon(SvgIconEngine::tinted(drawing, path, colour));
}

QIcon appIcon()
{
    if (QIcon::hasThemeIcon(appIconName))
        return QIcon::fromTheme(appIconName);
    const QString path = QStringLiteral(":/quillfern/%1.svg").arg(appIconName);
    return QIcon(SvgIconEngine::asDrawn(shippedDrawing(path), path));
}

} // namespace quillfern

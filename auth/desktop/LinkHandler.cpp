#include "auth/desktop/LinkHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <functional>

namespace quillfern {
namespace {

const QString schemeType = QStringLiteral("x-scheme-handler/quillfern");
const QString entryName = QString::fromUtf16(linkHandlerEntryName);

// The Exec value that starts program with the link: the path in double quotes when it holds a character
// the desktop-entry format reserves, with the format's string escapes applied on top of the quoting.
QString execValue(const QString &program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = program;
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted;
        for (const QChar c : std::as_const(argument)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    QString escaped;
    for (const QChar c : std::as_const(argument)) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped + QStringLiteral(" %u");
}

// The program an Exec value starts: its first argument, escapes and quoting undone.
QString execProgram(const QString &value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        text += next == u's'   ? QChar(u' ')
                : next == u'n' ? QChar(u'\n')
                : next == u't' ? QChar(u'\t')
                : next == u'r' ? QChar(u'\r')
                               : next;
    }
    text = text.trimmed();
    QString program;
    if (text.startsWith(u'"')) {
        for (qsizetype i = 1; i < text.size() && text[i] != u'"'; ++i) {
            if (text[i] == u'\\' && i + 1 < text.size())
                ++i;
            program += text[i];
        }
    } else {
        program = text.section(QLatin1Char(' '), 0, 0);
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

QString keyOf(const QString &line)
{
    return line.section(QLatin1Char('='), 0, 0).trimmed();
}

QString valueOf(const QString &line)
{
    return line.section(QLatin1Char('='), 1).trimmed();
}

// An entry that starts program and says it handles the scheme.
bool startsProgram(const QString &entry, const QString &program)
{
    bool inEntry = false;
    bool starts = false;
    bool handles = false;
    for (const QString &line : entry.split(QLatin1Char('\n'))) {
        if (line.startsWith(u'['))
            inEntry = line.trimmed() == u"[Desktop Entry]";
        else if (inEntry && keyOf(line) == u"Exec")
            starts = execProgram(valueOf(line)) == program;
        else if (inEntry && keyOf(line) == u"MimeType")
            handles = valueOf(line).split(QLatin1Char(';')).contains(schemeType);
    }
    return starts && handles;
}

// text with the value of key in group changed: change gets the present value (empty when there is none) and
// gives the new one, empty to leave the key out.
QString withValue(const QString &text, const QString &group, const QString &key,
                  const std::function<QString(const QString &)> &change)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    bool inGroup = false;
    qsizetype groupEnd = -1; // the last non-blank line of the group
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == header;
            if (inGroup)
                groupEnd = i;
            continue;
        }
        if (!inGroup)
            continue;
        if (!line.isEmpty())
            groupEnd = i;
        if (!line.startsWith(u'#') && keyOf(line) == key) {
            const QString value = change(valueOf(line));
            if (value == valueOf(line))
                return text;
            if (value.isEmpty())
                lines.removeAt(i);
            else
                lines[i] = key + QLatin1Char('=') + value;
            return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }
    const QString value = change(QString());
    if (value.isEmpty())
        return text;
    const QString entry = key + QLatin1Char('=') + value;
    if (groupEnd >= 0) {
        lines.insert(groupEnd + 1, entry);
    } else {
        if (!lines.isEmpty())
            lines.append(QString());
        lines.append(header);
        lines.append(entry);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QStringList desktopIDs(const QString &value)
{
    QStringList ids;
    for (const QString &id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        ids.append(id.trimmed());
    return ids;
}

// mimeapps.list with the entry as the scheme's default, among its associations, and not among the removed
// ones; every other line as it was.
QString withDefaultHandler(const QString &mimeapps)
{
    QString text = withValue(mimeapps, QStringLiteral("Default Applications"), schemeType, [](const QString &value) {
        QStringList ids = desktopIDs(value);
        if (ids.value(0) == entryName)
            return value;
        ids.removeAll(entryName);
        ids.prepend(entryName);
        return ids.join(QLatin1Char(';'));
    });
    text = withValue(text, QStringLiteral("Added Associations"), schemeType, [](const QString &value) {
        QStringList ids = desktopIDs(value);
        if (ids.contains(entryName))
            return value;
        ids.prepend(entryName);
        return ids.join(QLatin1Char(';')) + QLatin1Char(';');
    });
    return withValue(text, QStringLiteral("Removed Associations"), schemeType, [](const QString &value) {
        QStringList ids = desktopIDs(value);
        if (!ids.contains(entryName))
            return value;
        ids.removeAll(entryName);
        return ids.isEmpty() ? QString() : ids.join(QLatin1Char(';')) + QLatin1Char(';');
    });
}

bool writeFile(const QString &path, const QString &text)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The desktop's cache of which entry handles what, where the tool that builds it is installed.
void refreshDesktopDatabase(const QString &folder)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(tool, {folder});
    process.waitForFinished(10000);
}

} // namespace

LinkHandlerPlaces LinkHandlerPlaces::forUser()
{
    return LinkHandlerPlaces{
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications"),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mimeapps.list")};
}

LinkHandlerOutcome registerLinkHandler(const QString &executable, const LinkHandlerPlaces &places)
{
    LinkHandlerOutcome outcome;
    const QString entryPath = places.applicationsFolder + QLatin1Char('/') + entryName;
    if (!startsProgram(readFile(entryPath), executable)) {
        // The packaged entry, so the name, icon and categories are the ones an installed package has.
        QStringList lines = readFile(QStringLiteral(":/quillfern/io.quillfern.Quillfern.desktop")).split(u'\n');
        for (QString &line : lines) {
            if (keyOf(line) == u"Exec")
                line = QStringLiteral("Exec=") + execValue(executable);
        }
        outcome.wroteEntry = true;
        outcome.failed = lines.size() < 2 || !writeFile(entryPath, lines.join(QLatin1Char('\n')));
        if (!outcome.failed)
            refreshDesktopDatabase(places.applicationsFolder);
    }
    const QString mimeapps = readFile(places.mimeappsFile);
    const QString wanted = withDefaultHandler(mimeapps);
    if (wanted != mimeapps) {
        outcome.wroteDefault = true;
        outcome.failed = !writeFile(places.mimeappsFile, wanted) || outcome.failed;
    }
    return outcome;
}

void registerLinkHandlerInBackground()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString program = QCoreApplication::applicationFilePath();
    const LinkHandlerPlaces places = LinkHandlerPlaces::forUser();
    QThreadPool::globalInstance()->start([program, places] { (void)registerLinkHandler(program, places); });
#endif
}

} // namespace quillfern

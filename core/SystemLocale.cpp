#include "core/SystemLocale.h"

#include <cstdlib>

namespace quillfern {
namespace {

const char *categoryVariable(LocaleCategory category)
{
    switch (category) {
    case LocaleCategory::Numeric:
        return "LC_NUMERIC";
    case LocaleCategory::Monetary:
        return "LC_MONETARY";
    case LocaleCategory::Collate:
        return "LC_COLLATE";
    case LocaleCategory::Time:
        return "LC_TIME";
    }
    return "LANG";
}

const char *nonEmptyVariable(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

} // namespace

QString systemLocaleName(LocaleCategory category)
{
    const char *value = nonEmptyVariable("LC_ALL");
    if (!value)
        value = nonEmptyVariable(categoryVariable(category));
    if (!value)
        value = nonEmptyVariable("LANG");

    // "de_DE.UTF-8@euro": the language and territory are what ICU needs.
    QString name = value ? QString::fromLocal8Bit(value) : QString();
    for (const QChar stop : {QLatin1Char('.'), QLatin1Char('@')}) {
        const qsizetype at = name.indexOf(stop);
        if (at >= 0)
            name.truncate(at);
    }
    if (name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX"))
        return QStringLiteral("en_US");
    return name;
}

} // namespace quillfern

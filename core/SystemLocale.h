#pragma once

#include <QString>

namespace quillfern {

enum class LocaleCategory { Numeric, Monetary, Collate, Time };

// The user's locale for one category, as a Linux desktop session sets it (LC_ALL, then the category's
// own variable, then LANG), written as an ICU locale id such as "de_DE". Read afresh on every call so
// that formats follow the environment; the POSIX "C" locale and an unset environment give "en_US".
QString systemLocaleName(LocaleCategory category);

} // namespace quillfern

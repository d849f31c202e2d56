#pragma once

#include "core/SystemLocale.h"

#include <QString>

namespace quillfern {

// The locales figures are written under; the system's by default, pinned by tests.
struct DisplayLocales {
    QString monetary;
    QString numeric;

    static DisplayLocales system()
    {
        return {systemLocaleName(LocaleCategory::Monetary), systemLocaleName(LocaleCategory::Numeric)};
    }
};

} // namespace quillfern

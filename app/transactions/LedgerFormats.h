#pragma once

// How the ledger writes a record's figures and times: under the user's system locale, never the
// interface language. Locale and time zone are parameters so that tests can pin them.

#include "text/Dates.h"

#include <QString>

namespace quillfern {

// The user's locale for dates and times (LC_ALL, then LC_TIME, then LANG) as an ICU id; "en_US" for the
// POSIX locale or an unset environment.
QString timeLocaleName();

// An ISO 8601 internet date-time (such as 2024-05-01T09:30:00Z, with an optional fraction of a second
// and a Z or numeric offset) written with the locale's abbreviated date and short time in the given zone;
// any other text comes back unchanged.
QString displayDate(const QString &text, const QString &locale = timeLocaleName(),
                    const QString &timeZone = systemTimeZoneID());

// An amount of the currency with code, as the locale writes money in it (its own fraction digits).
// Codes ICU cannot take are written after their catalogue symbol with two fraction digits.
QString currencyAmount(double amount, const QString &code, const QString &locale);

} // namespace quillfern

#pragma once

// How the ledger writes a record's figures and times: figures under the user's system locale, trade times
// under the locale of the interface language. Locales and time zone are parameters so that tests can pin
// them.

#include "text/Dates.h"

#include <QString>

namespace quillfern {

// An ISO 8601 internet date-time (such as 2024-05-01T09:30:00Z, with an optional fraction of a second
// and a Z or numeric offset) written with the locale's abbreviated date and short time in the given zone
// (displayDateTime); any other text comes back unchanged.
QString displayDate(const QString &text, const QString &locale, const QString &timeZone = systemTimeZoneID());

// The same abbreviated date and short time as a display format for an editable date-time field, to be
// used with a QLocale of the same locale ("MMM d, yyyy, h:mm Ap" for en_US, "yyyy/MM/dd H:mm" for ja_JP).
QString editableDateTimeFormat(const QString &locale);

// An amount of the currency with code, as the locale writes money in it (its own fraction digits); an
// amount that is zero as shown carries no minus. Codes ICU cannot take are written after their catalogue
// symbol with two fraction digits.
QString currencyAmount(double amount, const QString &code, const QString &locale);

} // namespace quillfern

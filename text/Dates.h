#pragma once

// How moments and days are read from the service and written for the user: ICU patterns of a locale, in
// a time zone. Locale (an ICU id such as "ja_JP") and zone (an IANA id) are parameters so that tests can
// pin them.

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace quillfern {

// The system's time zone as an IANA id.
QString systemTimeZoneID();

// An RFC 3339 internet date-time (2024-05-01T09:30:00Z, with an optional fraction of a second and a Z or
// numeric offset); none for any other text, impossible dates such as February 30 included.
std::optional<QDateTime> readInternetDateTime(const QString &text);

// The moment in the zone, with the locale's abbreviated date and short time ("Dec 4, 2026, 9:00 PM").
QString displayDateTime(const QDateTime &moment, const QString &locale, const QString &timeZone);
// The same without the year, for a line with little room ("Dec 4, 9:00 PM").
QString displayMonthDayTime(const QDateTime &moment, const QString &locale, const QString &timeZone);
// A calendar day with the locale's abbreviated date ("Dec 4, 2026").
QString displayDay(const QDate &day, const QString &locale);
// A calendar day with only the fields of an ICU skeleton, in the locale's order: "yMMM" gives "Dec 2026",
// "MMMd" gives "Dec 4".
QString displayDayAs(const QDate &day, const QString &skeleton, const QString &locale);

} // namespace quillfern

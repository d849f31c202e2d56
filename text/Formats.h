#pragma once

// How figures are written: money held in US dollars in the reporting currency, percents, ratios and
// plain numbers, always under the user's system locale (never the interface language). The locale is a
// parameter, an ICU id such as "de_DE", so that callers and tests can pin one.

#include "core/ServiceRecords.h"
#include "core/SystemLocale.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern {

// usd converted into the reporting currency (a rate at or below 1e-9 counts as 1e-9) and written as an
// amount of that currency with exactly 2 fraction digits. With isSigned, an amount above zero (before
// rounding) gets a leading "+".
QString format(const CurrencyOption &reporting, double usd, bool isSigned,
               const QString &locale = systemLocaleName(LocaleCategory::Monetary));

// usd in the reporting currency, rounded to the locale's short compact form for a chart's axis: "$1.2M",
// "¥120万". The same rate rule as format().
QString compactMoney(const CurrencyOption &reporting, double usd,
                     const QString &locale = systemLocaleName(LocaleCategory::Monetary));

// A value on the 0-100 scale written as a percent with exactly 2 fraction digits; no "+".
QString percent(double value, const QString &locale = systemLocaleName(LocaleCategory::Numeric));

// part / whole as a percent with 2 fraction digits; the fixed text "0.00%" when whole is not above 0.
QString ratioPercent(double part, double whole, const QString &locale = systemLocaleName(LocaleCategory::Numeric));

// A plain grouped number with at most precision fraction digits and no trailing zeros.
QString decimal(double value, int precision, const QString &locale = systemLocaleName(LocaleCategory::Numeric));

// Names listed the way the language (an app language code, "ja-JP") lists them: "A, B, and C" in English,
// "A、B、C" in Japanese.
QString listedNames(const QStringList &names, const QString &languageCode);

// A number typed under the locale's rules, or none when the whole text does not read as one finite number.
// Grouping is optional but must sit where the locale puts it; blanks around the number and a leading sign are
// allowed; digits of other scripts (full-width, Devanagari) read as digits; letters never do. Where the
// locale's decimal sign is not "." a plain "." is also taken as one when that cannot be a thousands sign.
std::optional<double> readDecimal(const QString &text,
                                  const QString &locale = systemLocaleName(LocaleCategory::Numeric));

} // namespace quillfern

#include "app/transactions/LedgerFormats.h"

#include "core/CurrencyCatalog.h"
#include "core/SystemLocale.h"
#include "text/Formats.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <unicode/datefmt.h>
#include <unicode/numberformatter.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace quillfern {
namespace {

QString fromICU(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

icu::UnicodeString toICU(const QString &text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t *>(text.utf16()), int32_t(text.size()));
}

// RFC 3339's date-time: both halves in full, seconds required, a zone required.
const QRegularExpression &internetDateTime()
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}[Tt]\\d{2}:\\d{2}:\\d{2}(\\.\\d+)?([Zz]|[+-]\\d{2}:\\d{2})$"));
    return pattern;
}

bool isCurrencyCode(const QString &code)
{
    return code.size() == 3 && std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
}

} // namespace

QString timeLocaleName()
{
    return systemLocaleName(LocaleCategory::Time);
}

QString systemTimeZoneID()
{
    return QString::fromLatin1(QTimeZone::systemTimeZoneId());
}

QString displayDate(const QString &text, const QString &locale, const QString &timeZone)
{
    if (!internetDateTime().match(text).hasMatch())
        return text;
    // Qt reads the fraction and the offset; it also refuses impossible dates such as February 30.
    QString normalised = text;
    normalised[10] = u'T';
    if (normalised.endsWith(u'z'))
        normalised.back() = u'Z';
    const QDateTime moment = QDateTime::fromString(normalised, Qt::ISODateWithMs);
    if (!moment.isValid())
        return text;

    const icu::Locale icuLocale(locale.toLatin1().constData());
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale));
    if (!formatter)
        return text;
    formatter->adoptTimeZone(icu::TimeZone::createTimeZone(toICU(timeZone)));
    icu::UnicodeString written;
    formatter->format(UDate(moment.toMSecsSinceEpoch()), written);
    return fromICU(written);
}

QString currencyAmount(double amount, const QString &code, const QString &locale)
{
    if (!isCurrencyCode(code))
        return CurrencyCatalog::symbol(code) + decimal(amount, 2, locale);
    UErrorCode status = U_ZERO_ERROR;
    const icu::CurrencyUnit unit(reinterpret_cast<const char16_t *>(code.utf16()), status);
    if (U_FAILURE(status))
        return CurrencyCatalog::symbol(code) + decimal(amount, 2, locale);
    const auto formatter =
        icu::number::NumberFormatter::withLocale(icu::Locale(locale.toLatin1().constData())).unit(unit);
    const icu::UnicodeString written = formatter.formatDouble(amount, status).toString(status);
    if (U_FAILURE(status))
        return CurrencyCatalog::symbol(code) + decimal(amount, 2, locale);
    return fromICU(written);
}

} // namespace quillfern

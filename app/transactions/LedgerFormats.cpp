#include "app/transactions/LedgerFormats.h"

#include "core/CurrencyCatalog.h"
#include "core/SystemLocale.h"
#include "text/Formats.h"

#include <unicode/numberformatter.h>

#include <algorithm>

namespace quillfern {
namespace {

QString fromICU(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
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

QString displayDate(const QString &text, const QString &locale, const QString &timeZone)
{
    const auto moment = readInternetDateTime(text);
    if (!moment)
        return text;
    const QString written = displayDateTime(*moment, locale, timeZone);
    return written.isEmpty() ? text : written;
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

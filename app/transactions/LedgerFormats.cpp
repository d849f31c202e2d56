#include "app/transactions/LedgerFormats.h"

#include "core/CurrencyCatalog.h"
#include "text/Formats.h"

#include <unicode/numberformatter.h>
#include <unicode/smpdtfmt.h>

#include <algorithm>
#include <memory>

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

// One field of an ICU date pattern, count letters long, as a Qt date-time format writes it; empty for a
// field the editable field does without (era, zone).
QString qtField(QChar letter, int count)
{
    const auto times = [](char c, int n) { return QString(n, QLatin1Char(c)); };
    switch (letter.unicode()) {
    case u'y':
    case u'u':
        return count == 2 ? times('y', 2) : times('y', 4);
    case u'M':
    case u'L':
        return times('M', std::min(count, 4));
    case u'd':
        return times('d', std::min(count, 2));
    case u'E':
    case u'c':
        return times('d', count >= 4 ? 4 : 3);
    case u'h':
    case u'K':
        return times('h', std::min(count, 2));
    case u'H':
    case u'k':
        return times('H', std::min(count, 2));
    case u'm':
        return times('m', std::min(count, 2));
    case u's':
        return times('s', std::min(count, 2));
    case u'a':
    case u'b':
    case u'B':
        // The day period as the locale writes it (Qt's amText/pmText).
        return QStringLiteral("Ap");
    default:
        return {};
    }
}

} // namespace

QString displayDate(const QString &text, const QString &locale, const QString &timeZone)
{
    const auto moment = readInternetDateTime(text);
    if (!moment)
        return text;
    const QString written = displayDateTime(*moment, locale, timeZone);
    return written.isEmpty() ? text : written;
}

QString editableDateTimeFormat(const QString &locale)
{
    const std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icu::Locale(locale.toLatin1().constData())));
    const auto *simple = dynamic_cast<const icu::SimpleDateFormat *>(formatter.get());
    if (!simple)
        return QStringLiteral("yyyy-MM-dd HH:mm");
    icu::UnicodeString written;
    simple->toPattern(written);
    const QString pattern = fromICU(written);
    // Both syntaxes quote literal text between apostrophes; only the letters of the fields differ.
    QString format;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            const qsizetype end = pattern.indexOf(u'\'', i + 1);
            const qsizetype next = end < 0 ? pattern.size() : end + 1;
            format += pattern.mid(i, next - i);
            i = next;
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            qsizetype run = i;
            while (run < pattern.size() && pattern[run] == c)
                ++run;
            format += qtField(c, int(run - i));
            i = run;
        } else {
            format += c;
            ++i;
        }
    }
    return format;
}

QString currencyAmount(double amount, const QString &code, const QString &locale)
{
    if (!isCurrencyCode(code))
        return CurrencyCatalog::symbol(code) + decimal(amount, 2, locale);
    UErrorCode status = U_ZERO_ERROR;
    const icu::CurrencyUnit unit(reinterpret_cast<const char16_t *>(code.utf16()), status);
    if (U_FAILURE(status))
        return CurrencyCatalog::symbol(code) + decimal(amount, 2, locale);
    // As text/Formats writes money: "-$0.00" would read as a loss.
    const auto formatter = icu::number::NumberFormatter::withLocale(icu::Locale(locale.toLatin1().constData()))
                               .unit(unit)
                               .sign(UNUM_SIGN_NEGATIVE);
    const icu::UnicodeString written = formatter.formatDouble(amount, status).toString(status);
    if (U_FAILURE(status))
        return CurrencyCatalog::symbol(code) + decimal(amount, 2, locale);
    return fromICU(written);
}

} // namespace quillfern

#include "text/Formats.h"

#include "core/CurrencyCatalog.h"

#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/listformatter.h>
#include <unicode/numberformatter.h>
#include <unicode/numfmt.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillfern {
namespace {

namespace number = icu::number;

QString fromICU(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

// Building a localized formatter is costly next to using one, and a table repaint formats hundreds of
// figures, so formatters are kept per thread, keyed by what shapes them.
class FormatterCache {
public:
    // A figure that is zero as shown carries no sign: a sum of nothing can come out as -0, and a loss of
    // a fraction of a cent as -0.004, and "-$0.00" reads as a loss.
    template <class Make>
    const number::LocalizedNumberFormatter &get(const std::string &key, const QString &locale, Make make)
    {
        auto found = m_formatters.find(key);
        if (found != m_formatters.end())
            return found->second;
        if (m_formatters.size() >= 64)
            m_formatters.clear();
        const icu::Locale icuLocale(locale.toLatin1().constData());
        return m_formatters
            .emplace(key, make(number::NumberFormatter::with().sign(UNUM_SIGN_NEGATIVE)).locale(icuLocale))
            .first->second;
    }

private:
    std::map<std::string, number::LocalizedNumberFormatter> m_formatters;
};

FormatterCache &cache()
{
    thread_local FormatterCache instance;
    return instance;
}

QString write(const number::LocalizedNumberFormatter &formatter, double value)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString text = formatter.formatDouble(value, status).toString(status);
    if (U_FAILURE(status))
        return QString::number(value, 'f', 2);
    return fromICU(text);
}

std::string keyOf(const char *kind, const QString &locale, const QString &extra = {})
{
    return std::string(kind) + '|' + locale.toStdString() + '|' + extra.toStdString();
}

bool isCurrencyCode(const QString &code)
{
    return code.size() == 3 && std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
}

QString fixedTwoDigits(double value, const QString &locale)
{
    return write(cache().get(keyOf("fixed2", locale), locale,
                             [](number::UnlocalizedNumberFormatter f) {
                                 return f.precision(number::Precision::fixedFraction(2));
                             }),
                 value);
}

} // namespace

QString format(const CurrencyOption &reporting, double usd, bool isSigned, const QString &locale)
{
    const double rate = reporting.fxToUsd <= 0.000000001 ? 0.000000001 : reporting.fxToUsd;
    const double amount = usd / rate;

    QString text;
    if (isCurrencyCode(reporting.code)) {
        const QString code = reporting.code;
        text = write(cache().get(keyOf("currency", locale, code), locale,
                                 [&code](number::UnlocalizedNumberFormatter f) {
                                     UErrorCode status = U_ZERO_ERROR;
                                     const icu::CurrencyUnit unit(reinterpret_cast<const char16_t *>(code.utf16()),
                                                                  status);
                                     return f.unit(unit).precision(number::Precision::fixedFraction(2));
                                 }),
                     amount);
    } else {
        // ICU knows only three-letter codes; anything else is written after its catalogue symbol.
        text = CurrencyCatalog::symbol(reporting.code) + fixedTwoDigits(amount, locale);
    }
    return isSigned && amount > 0 ? QLatin1Char('+') + text : text;
}

QString compactMoney(const CurrencyOption &reporting, double usd, const QString &locale)
{
    const double rate = reporting.fxToUsd <= 0.000000001 ? 0.000000001 : reporting.fxToUsd;
    const double amount = usd / rate;
    const QString code = isCurrencyCode(reporting.code) ? reporting.code : QString();
    const auto &formatter = cache().get(keyOf("compact", locale, code), locale, [&code](number::UnlocalizedNumberFormatter f) {
        f = f.notation(number::Notation::compactShort());
        if (code.isEmpty())
            return f;
        UErrorCode status = U_ZERO_ERROR;
        return f.unit(icu::CurrencyUnit(reinterpret_cast<const char16_t *>(code.utf16()), status));
    });
    const QString text = write(formatter, amount);
    return code.isEmpty() ? CurrencyCatalog::symbol(reporting.code) + text : text;
}

QString listedNames(const QStringList &names, const QString &languageCode)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::ListFormatter> formatter(icu::ListFormatter::createInstance(
        icu::Locale(QString(languageCode).replace(u'-', u'_').toLatin1().constData()), ULISTFMT_TYPE_AND,
        ULISTFMT_WIDTH_NARROW, status));
    if (U_FAILURE(status))
        return names.join(QStringLiteral(", "));
    std::vector<icu::UnicodeString> items;
    for (const QString &name : names)
        items.emplace_back(reinterpret_cast<const char16_t *>(name.utf16()), int32_t(name.size()));
    icu::UnicodeString written;
    formatter->format(items.data(), int32_t(items.size()), written, status);
    if (U_FAILURE(status))
        return names.join(QStringLiteral(", "));
    return fromICU(written);
}

QString percent(double value, const QString &locale)
{
    // NoUnit::percent writes the number as it stands, so the 0-100 scale needs no scaling.
    return write(cache().get(keyOf("percent", locale), locale,
                             [](number::UnlocalizedNumberFormatter f) {
                                 return f.unit(icu::NoUnit::percent()).precision(number::Precision::fixedFraction(2));
                             }),
                 value);
}

QString ratioPercent(double part, double whole, const QString &locale)
{
    if (!(whole > 0))
        return QStringLiteral("0.00%");
    return write(cache().get(keyOf("ratio", locale), locale,
                             [](number::UnlocalizedNumberFormatter f) {
                                 return f.unit(icu::NoUnit::percent())
                                     .scale(number::Scale::powerOfTen(2))
                                     .precision(number::Precision::fixedFraction(2));
                             }),
                 part / whole);
}

QString decimal(double value, int precision, const QString &locale)
{
    const int digits = std::clamp(precision, 0, 15);
    return write(cache().get(keyOf("decimal", locale, QString::number(digits)), locale,
                             [digits](number::UnlocalizedNumberFormatter f) {
                                 return f.precision(number::Precision::minMaxFraction(0, digits));
                             }),
                 value);
}

namespace {

// A strict reader and the separators that decide how a typed "." is taken, kept per thread and locale.
struct NumberReader {
    std::unique_ptr<icu::NumberFormat> format;
    QString decimal;
    QString grouping;
};

const NumberReader *numberReader(const QString &locale)
{
    thread_local std::map<QString, NumberReader> readers;
    if (const auto found = readers.find(locale); found != readers.end())
        return found->second.format ? &found->second : nullptr;
    if (readers.size() >= 16)
        readers.clear();
    NumberReader &reader = readers[locale];
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(
        icu::NumberFormat::createInstance(icu::Locale(locale.toUtf8().constData()), status));
    const auto *decimalFormat = dynamic_cast<const icu::DecimalFormat *>(format.get());
    if (U_FAILURE(status) || !decimalFormat)
        return nullptr;
    format->setLenient(false);
    const icu::DecimalFormatSymbols *symbols = decimalFormat->getDecimalFormatSymbols();
    reader.decimal = fromICU(symbols->getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    reader.grouping = fromICU(symbols->getConstSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
    reader.format = std::move(format);
    return &reader;
}

bool isSign(QChar c)
{
    return c == u'+' || c == u'-' || c == u'\u2212' || c == u'\uFF0B' || c == u'\uFF0D';
}

} // namespace

std::optional<double> readDecimal(const QString &text, const QString &locale)
{
    QString typed = text.trimmed();
    // ICU's strict reading takes a minus but not a plus.
    if (!typed.isEmpty() && (typed.front() == u'+' || typed.front() == u'\uFF0B')) {
        typed.remove(0, 1);
        if (typed.isEmpty() || isSign(typed.front()) || typed.front().isSpace())
            return std::nullopt;
    }
    // ICU would read an exponent ("1e5") and the names of infinity and NaN.
    if (typed.isEmpty() || std::any_of(typed.cbegin(), typed.cend(), [](QChar c) { return c.isLetter(); }))
        return std::nullopt;
    const NumberReader *reader = numberReader(locale);
    if (!reader)
        return std::nullopt;

    // Where the decimal sign is not "." and "." does not group either (French, Swedish, Russian), a single
    // "." is taken as a decimal point, unless three digits follow it: ICU also reads "." as a foreign
    // thousands sign there, so "1.234" could be either, and is refused. Where "." groups (German), the
    // locale's reading alone decides: "1.234" is 1234, and "1.5" is refused.
    const QChar dot(u'.');
    if (reader->decimal != QString(dot) && reader->grouping != QString(dot) && typed.count(dot) == 1 &&
        !typed.contains(reader->decimal)) {
        const qsizetype at = typed.indexOf(dot);
        qsizetype digits = 0;
        while (at + 1 + digits < typed.size() && typed.at(at + 1 + digits).isDigit())
            ++digits;
        if (digits == 3)
            return std::nullopt;
        typed.replace(at, 1, reader->decimal);
    }

    const icu::UnicodeString input(reinterpret_cast<const char16_t *>(typed.utf16()), int32_t(typed.size()));
    icu::Formattable result;
    icu::ParsePosition position(0);
    reader->format->parse(input, result, position);
    if (position.getIndex() != input.length() || position.getErrorIndex() >= 0)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const double value = result.getDouble(status);
    if (U_FAILURE(status) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace quillfern

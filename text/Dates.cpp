#include "text/Dates.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <unicode/datefmt.h>
#include <unicode/timezone.h>

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

QString write(std::unique_ptr<icu::DateFormat> formatter, qint64 milliseconds, const QString &timeZone)
{
    if (!formatter)
        return {};
    formatter->adoptTimeZone(icu::TimeZone::createTimeZone(toICU(timeZone)));
    icu::UnicodeString written;
    formatter->format(UDate(milliseconds), written);
    return fromICU(written);
}

icu::Locale icuLocale(const QString &locale)
{
    return icu::Locale(locale.toLatin1().constData());
}

} // namespace

QString systemTimeZoneID()
{
    return QString::fromLatin1(QTimeZone::systemTimeZoneId());
}

std::optional<QDateTime> readInternetDateTime(const QString &text)
{
    if (!internetDateTime().match(text).hasMatch())
        return std::nullopt;
    // Qt reads the fraction and the offset; it also refuses impossible dates.
    QString normalised = text;
    normalised[10] = u'T';
    if (normalised.endsWith(u'z'))
        normalised.back() = u'Z';
    const QDateTime moment = QDateTime::fromString(normalised, Qt::ISODateWithMs);
    if (!moment.isValid())
        return std::nullopt;
    return moment;
}

QString displayDateTime(const QDateTime &moment, const QString &locale, const QString &timeZone)
{
    return write(std::unique_ptr<icu::DateFormat>(icu::DateFormat::createDateTimeInstance(
                     icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale(locale))),
                 moment.toMSecsSinceEpoch(), timeZone);
}

QString displayMonthDayTime(const QDateTime &moment, const QString &locale, const QString &timeZone)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createInstanceForSkeleton(icu::UnicodeString(u"MMMdjmm"), icuLocale(locale), status));
    if (U_FAILURE(status))
        return displayDateTime(moment, locale, timeZone);
    return write(std::move(formatter), moment.toMSecsSinceEpoch(), timeZone);
}

QString displayDay(const QDate &day, const QString &locale)
{
    // Midday UTC, written in UTC: the day stays the day whatever the zone.
    const QDateTime noon(day, QTime(12, 0), QTimeZone::utc());
    return write(std::unique_ptr<icu::DateFormat>(
                     icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icuLocale(locale))),
                 noon.toMSecsSinceEpoch(), QStringLiteral("UTC"));
}

QString displayDayAs(const QDate &day, const QString &skeleton, const QString &locale)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createInstanceForSkeleton(toICU(skeleton), icuLocale(locale), status));
    if (U_FAILURE(status))
        return displayDay(day, locale);
    const QDateTime noon(day, QTime(12, 0), QTimeZone::utc());
    return write(std::move(formatter), noon.toMSecsSinceEpoch(), QStringLiteral("UTC"));
}

} // namespace quillfern

#include "app/workspace/PriceFacts.h"

#include "text/Dates.h"
#include "text/Localization.h"

#include <QTimeZone>

#include <cmath>

namespace quillfern {
namespace {

QString keyOf(const QString &market, const QString &code)
{
    return market.trimmed() + QLatin1Char(':') + code.trimmed().toUpper();
}

PriceSource sourceNamed(const std::optional<QString> &name)
{
    if (name == QStringLiteral("csv"))
        return PriceSource::Live;
    if (name == QStringLiteral("demo"))
        return PriceSource::Demo;
    if (name == QStringLiteral("file"))
        return PriceSource::OfflineTable;
    return PriceSource::Unknown;
}

const char16_t *sourceKey(PriceSource source)
{
    switch (source) {
    case PriceSource::Live:
        return u"priceSourceLive";
    case PriceSource::Demo:
        return u"priceSourceDemo";
    case PriceSource::OfflineTable:
        return u"priceSourceFile";
    case PriceSource::Unknown:
        break;
    }
    return nullptr;
}

// A rate's date: an ISO day as given, or the day a moment falls on in the zone.
std::optional<QDate> dayOf(const QString &text, const QString &timeZone)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid())
        return day;
    if (const auto moment = readInternetDateTime(text))
        return moment->toTimeZone(QTimeZone(timeZone.toLatin1())).date();
    return std::nullopt;
}

} // namespace

PriceFacts priceFacts(const StockPriceResponse &answer)
{
    PriceFacts facts{answer.price, std::nullopt, sourceNamed(answer.source)};
    if (answer.asOf)
        facts.asOf = readInternetDateTime(*answer.asOf);
    if (answer.previousClose && std::isfinite(*answer.previousClose) && *answer.previousClose > 0)
        facts.previousClose = answer.previousClose;
    return facts;
}

bool isStale(const PriceFacts &facts, const QDateTime &now)
{
    if (facts.source == PriceSource::Demo)
        return true;
    return facts.asOf && facts.asOf->msecsTo(now) > std::chrono::milliseconds(staleAfter).count();
}

void PriceFactsBook::record(const QString &market, const QString &code, const PriceFacts &facts)
{
    m_facts.insert(keyOf(market, code), facts);
}

const PriceFacts *PriceFactsBook::of(const AssetRow &row) const
{
    const auto found = m_facts.constFind(keyOf(row.market, row.code));
    if (found == m_facts.cend() || found->price != row.currentPrice)
        return nullptr;
    return &*found;
}

std::optional<double> dayChangeUsd(const AssetRow &row, const PriceFacts *facts, double usdPerUnit)
{
    if (!facts || !facts->previousClose)
        return std::nullopt;
    return row.quantity * (row.currentPrice - *facts->previousClose) * usdPerUnit;
}

QString priceFactsText(const PriceFacts &facts, const QDateTime &now, const QString &languageCode,
                       const QString &locale, const QString &timeZone)
{
    QStringList lines;
    if (facts.asOf)
        lines.append(AppText::format(u"priceAsOf", languageCode, {displayDateTime(*facts.asOf, locale, timeZone)}));
    if (const char16_t *source = sourceKey(facts.source))
        lines.append(
            AppText::format(u"priceSource", languageCode, {AppText::value(QStringView(source), languageCode)}));
    // A demo price says so in its source; only age needs its own line.
    if (facts.source != PriceSource::Demo && isStale(facts, now))
        lines.append(AppText::value(u"priceStale", languageCode));
    return lines.join(QLatin1Char('\n'));
}

QString pricesSummaryText(const PriceFactsBook &book, const QList<AssetRow> &rows, const QString &languageCode,
                          const QString &locale, const QString &timeZone)
{
    std::optional<QDateTime> oldest;
    for (const AssetRow &row : rows) {
        const PriceFacts *facts = book.of(row);
        if (!facts)
            continue;
        if (facts->source == PriceSource::Demo)
            return AppText::value(u"demoPrices", languageCode);
        if (facts->asOf && (!oldest || *facts->asOf < *oldest))
            oldest = facts->asOf;
    }
    if (!oldest)
        return {};
    return AppText::format(u"pricesAsOf", languageCode, {displayMonthDayTime(*oldest, locale, timeZone)});
}

QString ratesDateText(const QList<CurrencyOption> &currencies, const QString &languageCode, const QString &locale,
                      const QString &timeZone)
{
    std::optional<QDate> oldest;
    for (const CurrencyOption &currency : currencies) {
        const auto day = currency.asOf ? dayOf(*currency.asOf, timeZone) : std::nullopt;
        if (day && (!oldest || *day < *oldest))
            oldest = day;
    }
    if (!oldest)
        return {};
    return AppText::format(u"ratesOf", languageCode, {displayDay(*oldest, locale)});
}

} // namespace quillfern

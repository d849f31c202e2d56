#include "app/charts/HoldingStatistics.h"

#include "text/Formats.h"
#include "text/GicsNames.h"
#include "text/Localization.h"

namespace quillfern {

std::array<MetricFigure, 4> holdingSummaryFigures(const PortfolioSummary &summary, const CurrencyOption &currency,
                                                  QStringView languageCode, const DisplayLocales &locales)
{
    const auto text = [languageCode](const char16_t *key) { return AppText::value(QStringView(key), languageCode); };
    return {{
        {text(u"marketValue"), format(currency, summary.totalMarketValueUsd, false, locales.monetary),
         FigureTone::Green},
        {text(u"boughtCost"), format(currency, summary.totalBoughtCostUsd, false, locales.monetary),
         FigureTone::Primary},
        {text(u"net"), format(currency, summary.totalNetUsd, true, locales.monetary), gainTone(summary.totalNetUsd)},
        {text(u"return"), percent(summary.totalReturnPercent, locales.numeric), gainTone(summary.totalReturnPercent)},
    }};
}

MetricFigure dayChangeFigure(std::optional<double> usd, const CurrencyOption &currency, QStringView languageCode,
                             const DisplayLocales &locales)
{
    const QString title = AppText::value(u"dayChange", languageCode);
    if (!usd)
        return {title, absentFigure, FigureTone::Secondary};
    return {title, format(currency, *usd, true, locales.monetary), gainTone(*usd)};
}

std::array<AllocationContent, 3> holdingAllocations(const PortfolioSummary &summary, QStringView languageCode)
{
    // Sectors arrive under their stored English names; the pie and its legend show them in the language.
    std::vector<AllocationItem> bySector = summary.bySector;
    for (AllocationItem &item : bySector)
        item.label = gicsDisplayName(QString::fromStdString(item.label), languageCode).toStdString();
    return {{
        {AppText::value(u"bySector", languageCode), std::move(bySector)},
        {AppText::value(u"byMarket", languageCode), summary.byMarket},
        {AppText::value(u"brokerRatio", languageCode), summary.byBroker},
    }};
}

} // namespace quillfern

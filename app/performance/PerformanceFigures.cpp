#include "app/performance/PerformanceFigures.h"

#include "app/charts/HoldingStatistics.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <algorithm>
#include <cmath>

namespace quillfern {
namespace {

QList<HoldingContribution> sortedByGain(QList<HoldingContribution> all, bool largestFirst)
{
    std::stable_sort(all.begin(), all.end(), [largestFirst](const auto &a, const auto &b) {
        return largestFirst ? a.gain > b.gain : a.gain < b.gain;
    });
    return all;
}

QStringList listingNames(const QStringList &listings)
{
    QStringList names;
    for (const QString &listing : listings) {
        const qsizetype colon = listing.indexOf(QLatin1Char(':'));
        names.append(colon < 0 ? listing
                               : listing.mid(colon + 1) + QStringLiteral(" (") + listing.left(colon) + QLatin1Char(')'));
    }
    return names;
}

} // namespace

std::array<MetricFigure, 5> performanceFigures(const std::optional<PerformanceResponse> &answer,
                                               const CurrencyOption &currency, QStringView languageCode,
                                               const DisplayLocales &locales)
{
    const auto title = [languageCode](const char16_t *key) { return AppText::value(QStringView(key), languageCode); };
    std::array<MetricFigure, 5> figures{{
        {title(u"timeWeightedReturn"), absentFigure, FigureTone::Secondary},
        {title(u"moneyWeightedReturn"), absentFigure, FigureTone::Secondary},
        {title(u"periodGain"), absentFigure, FigureTone::Secondary},
        {title(u"periodIncome"), absentFigure, FigureTone::Secondary},
        {title(u"maxDrawdown"), absentFigure, FigureTone::Secondary},
    }};
    if (!answer || answer->series.isEmpty())
        return figures;
    const auto rate = [&](MetricFigure &figure, const std::optional<double> &fraction) {
        if (fraction && std::isfinite(*fraction)) {
            figure.value = percent(*fraction * 100, locales.numeric);
            figure.tone = gainTone(*fraction);
        }
    };
    rate(figures[0], answer->twr);
    rate(figures[1], answer->mwr);
    figures[2].value = format(currency, answer->gain, true, locales.monetary);
    figures[2].tone = gainTone(answer->gain);
    double income = 0;
    for (const MonthIncome &month : answer->incomeByMonth)
        income += month.amount;
    figures[3].value = format(currency, income, false, locales.monetary);
    figures[3].tone = gainTone(income);
    // A drawdown is a fall whichever sign the service gives it: shown as a loss, zero as no loss.
    const double drawdown = -std::abs(answer->maxDrawdown) * 100;
    figures[4].value = percent(drawdown, locales.numeric);
    figures[4].tone = drawdown < 0 ? FigureTone::Red : FigureTone::Primary;
    return figures;
}

QString missingHistoryNote(const QStringList &missing, QStringView languageCode, int named)
{
    if (missing.isEmpty())
        return {};
    QStringList names = listingNames(missing);
    if (names.size() > named) {
        const qint64 rest = names.size() - named;
        names.resize(named);
        names.append(AppText::format(u"moreListings", languageCode, {rest}));
    }
    return AppText::format(u"missingHistory", languageCode, {listedNames(names, languageCode.toString())});
}

QString missingHistoryList(const QStringList &missing)
{
    return listingNames(missing).join(QLatin1Char('\n'));
}

QList<HoldingContribution> topContributions(const QList<HoldingContribution> &all, int count)
{
    return sortedByGain(all, true).mid(0, count);
}

QList<HoldingContribution> bottomContributions(const QList<HoldingContribution> &all, int count)
{
    // What the top list already shows is not repeated at the bottom.
    const qsizetype rest = std::max<qsizetype>(0, all.size() - count);
    return sortedByGain(all, false).mid(0, std::min<qsizetype>(count, rest));
}

} // namespace quillfern

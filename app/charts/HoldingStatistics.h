#pragma once

// The figures and allocations of the holdings statistics, as plain values: what each card and panel says
// for one summary, reporting currency and language.

#include "app/charts/DisplayLocales.h"
#include "app/charts/MetricCard.h"
#include "core/ServiceRecords.h"
#include "core/analysis/PortfolioRecords.h"

#include <QStringView>

#include <array>
#include <optional>
#include <vector>

namespace quillfern {

// Market value, cost, unrealised gain and return, in that order.
std::array<MetricFigure, 4> holdingSummaryFigures(const PortfolioSummary &summary, const CurrencyOption &currency,
                                                  QStringView languageCode,
                                                  const DisplayLocales &locales = DisplayLocales::system());

// The day change card: the sum of the holdings' changes since the previous close; "—" when none is known.
MetricFigure dayChangeFigure(std::optional<double> usd, const CurrencyOption &currency, QStringView languageCode,
                             const DisplayLocales &locales = DisplayLocales::system());

// What a card shows for a figure the service could not give.
inline const QString absentFigure = QStringLiteral("\u2014");

struct AllocationContent {
    QString title;
    std::vector<AllocationItem> items;

    bool operator==(const AllocationContent &) const = default;
};

// By sector, by market, by broker, in that order.
std::array<AllocationContent, 3> holdingAllocations(const PortfolioSummary &summary, QStringView languageCode);

} // namespace quillfern

#pragma once

// The figures and allocations of the holdings statistics, as plain values: what each card and panel says
// for one summary, reporting currency and language.

#include "app/charts/DisplayLocales.h"
#include "app/charts/MetricCard.h"
#include "core/ServiceRecords.h"
#include "core/analysis/PortfolioRecords.h"

#include <QStringView>

#include <array>
#include <vector>

namespace quillfern {

// Market value, cost, unrealised gain and return, in that order.
std::array<MetricFigure, 4> holdingSummaryFigures(const PortfolioSummary &summary, const CurrencyOption &currency,
                                                  QStringView languageCode,
                                                  const DisplayLocales &locales = DisplayLocales::system());

struct AllocationContent {
    QString title;
    std::vector<AllocationItem> items;

    bool operator==(const AllocationContent &) const = default;
};

// By sector, by market, by broker, in that order.
std::array<AllocationContent, 3> holdingAllocations(const PortfolioSummary &summary, QStringView languageCode);

} // namespace quillfern

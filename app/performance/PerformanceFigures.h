#pragma once

// What the performance page writes for one answer, as plain values: the cards, the note on listings
// without history and the holdings that added or took away the most.

#include "app/charts/DisplayLocales.h"
#include "app/charts/MetricCard.h"
#include "core/ServiceRecords.h"

#include <QStringView>

#include <array>
#include <optional>

namespace quillfern {

// Time-weighted return, money-weighted return, gain, income and max drawdown, in that order; "—" for a
// figure the answer leaves out, and for all of them without an answer or with an empty series.
std::array<MetricFigure, 5> performanceFigures(const std::optional<PerformanceResponse> &answer,
                                               const CurrencyOption &currency, QStringView languageCode,
                                               const DisplayLocales &locales = DisplayLocales::system());

// The note on the listings whose history is unknown ("US:AAPL" as "AAPL (US)"): the first named names and a
// count of the rest; empty when none.
QString missingHistoryNote(const QStringList &missing, QStringView languageCode, int named = 5);
// Every listing of the note by name, one a line.
QString missingHistoryList(const QStringList &missing);

// The count largest gains, largest first; the count smallest, smallest first. A holding is in only one of
// the two lists when there are fewer than twice count.
QList<HoldingContribution> topContributions(const QList<HoldingContribution> &all, int count = 5);
QList<HoldingContribution> bottomContributions(const QList<HoldingContribution> &all, int count = 5);

} // namespace quillfern

#pragma once

// An account's value day by day in US dollars, rebuilt from its opening rows, its ledger and the daily
// closes and rates of the listings and currencies it held.

#include "core/ledger/LedgerRecords.h"
#include "core/performance/Performance.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quillfern {

using DayFigures = std::vector<std::pair<std::int32_t, double>>; // (day, figure), days ascending
using ListingKey = std::pair<std::string, std::string>;          // market, code, as the ledger writes them

struct ValueSeriesInput {
    LedgerOpening opening;                 // rows typed by hand: they come in as a flow on the first day
    // Any order; fxToUsd of each row is its day's rate. A deposit or withdrawal without an id is the cash side
    // of a trade, not money moved in or out.
    std::vector<LedgerTransaction> ledger;
    // Daily closes adjusted for splits, as daily-history sources publish them: a day before a split is
    // valued at the later shares the ledger's splits make of the quantity then.
    std::map<ListingKey, DayFigures> closes;
    std::map<std::string, DayFigures> usdPerUnit; // by currency; US dollars need none
    std::function<std::string(const std::string &market)> marketCurrency;
    std::int32_t firstDay = 0; // the account's first day: its earliest transaction, or the period's start
    std::int32_t lastDay = 0;
};

struct SeriesDay {
    std::int32_t day = 0;
    double value = 0;    // holdings at the day's closes plus cash, at the day's rates
    double invested = 0; // net flows so far
    double cash = 0;
    double flow = 0; // deposits, withdrawals, trades that did not move the account's cash, transfers

    bool operator==(const SeriesDay &) const = default;
};

struct ValueSeries {
    std::vector<SeriesDay> days; // a day a held listing has no close on or before is left out
    std::vector<ListingKey> missing;             // listings held on some day without a close by then
    std::map<ListingKey, double> contributions;  // gain within [from, to]: value change less what it cost
    std::map<std::int32_t, double> incomeByMonth; // yyyymm → dividends + interest − tax within [from, to]
};

// Walks the ledger from firstDay to lastDay and answers the days within [from, to]; a closing price or
// rate carries to the days after it until the next (weekends, holidays).
ValueSeries buildValueSeries(const ValueSeriesInput &input, std::int32_t from, std::int32_t to);

// The period's figures over the series' days (the first day stands for the period's opening).
PeriodPerformance measureSeries(const std::vector<SeriesDay> &days);

} // namespace quillfern

#pragma once

#include "core/ServiceRecords.h"
#include "server/StoreError.h"

#include <QSqlDatabase>

#include <cstdint>

namespace quillfern::server {

class HistoryKeeper;

// A period of an account to measure, in days since 1970-01-01, with an optional benchmark listing.
struct PerformanceQuery {
    std::int32_t from = 0;
    std::int32_t to = 0;
    std::int32_t today = 0;
    QString benchmark;       // upper-cased symbol; empty for none
    QString benchmarkMarket; // upper-cased market
};

// The account's value series and figures over the period, from what is kept; listings whose closes are not
// kept are named and, with a keeper, asked for in the background. BadRequest for a benchmark without closes.
StoreResult<PerformanceResponse> measureAccount(QSqlDatabase connection, const QString &userID,
                                                const PerformanceQuery &query, HistoryKeeper *history);

} // namespace quillfern::server

#pragma once

// The conversion between the service's portfolio records and the workspace's rows, both ways. Pure, in
// list order, never dropping or merging an entry.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"

#include <QByteArray>

namespace quillfern {

struct PortfolioData {
    QList<AssetRow> holdings;
    QList<CashRow> cashBalances;
    // The service's tag for this copy (its ETag header, exactly as sent, quotes included); empty when the
    // service sent none.
    QByteArray version;

    bool operator==(const PortfolioData &) const = default;
};

// Rows from a reply. A record without an id gets a fresh one on every conversion; the holding's currency,
// rate and note are not kept; every cash row keeps the service's rate.
PortfolioData portfolioData(const PortfolioResponse &response);

// The save body: holdings carry the currency and built-in rate of their market, cash balances their
// service rate or else the built-in one; notes go out empty.
PortfolioPutRequest portfolioPutRequest(const QList<AssetRow> &holdings, const QList<CashRow> &cashBalances);

} // namespace quillfern

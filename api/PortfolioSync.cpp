#include "api/PortfolioSync.h"

#include "core/CurrencyCatalog.h"
#include "core/WorkspaceValuation.h"

namespace quillfern {

PortfolioData portfolioData(const PortfolioResponse &response)
{
    PortfolioData data;
    data.holdings.reserve(response.holdings.size());
    for (const ServerHolding &h : response.holdings) {
        data.holdings.append(AssetRow{h.id ? *h.id : newRowID(), h.market, h.sector, h.subSector, h.code, h.broker,
                                      h.averagePrice, h.quantity, h.currentPrice});
    }
    data.cashBalances.reserve(response.cashBalances.size());
    for (const ServerCashBalance &c : response.cashBalances)
        data.cashBalances.append(CashRow{c.id ? *c.id : newRowID(), c.broker, c.originalCash, c.currency, c.fxToUsd});
    return data;
}

PortfolioPutRequest portfolioPutRequest(const QList<AssetRow> &holdings, const QList<CashRow> &cashBalances)
{
    PortfolioPutRequest request;
    request.holdings.reserve(holdings.size());
    for (const AssetRow &row : holdings) {
        const QString currency = CurrencyCatalog::currency(row.market);
        request.holdings.append(ServerHolding{row.id, row.market, row.sector, row.subSector, row.code, currency,
                                              row.broker, row.averagePrice, row.quantity, row.currentPrice,
                                              CurrencyCatalog::fxToUSD(currency), QString()});
    }
    request.cashBalances.reserve(cashBalances.size());
    for (const CashRow &row : cashBalances) {
        request.cashBalances.append(
            ServerCashBalance{row.id, row.broker, row.originalCash, row.currency, usdRate(row), QString()});
    }
    request.snapshotSource = QStringLiteral("macos-app");
    return request;
}

} // namespace quillfern

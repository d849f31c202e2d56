// Booking a file's transactions at once. The service applies them to holdings and cash, so an import that
// changed anything ends by reloading the ledger and the portfolio, as a single transaction's change does.

#include "app/workspace/Workspace.h"

#include <QPointer>

namespace quillfern {

QCoro::Task<APIResult<TransactionImportResult>> Workspace::importTransactions(TransactionImportRequest request)
{
    using Answer = APIResult<TransactionImportResult>;
    const auto token = currentToken();
    if (!token)
        co_return Answer(APIFailure(PortfolioAPIError::invalidResponse()));
    const QPointer<Workspace> self(this);
    auto call = PortfolioAPI::importTransactions(m_endpoint, *token, std::move(request));
    auto answer = co_await std::move(call);
    if (!answer || !self || answer->alreadyImported)
        co_return answer;
    // The import is booked whatever the reload says; a reload that fails shows in the banner instead.
    auto reload = reloadLedgerAndPortfolio(*token);
    if (auto failure = co_await std::move(reload); failure && self && isSession(*token))
        setPortfolioError(*failure);
    co_return answer;
}

} // namespace quillfern

// Changes of the ledger: recording, replacing and removing a transaction. The service applies each to the
// holdings and the cash itself, so every change ends by reloading the ledger and the portfolio.

#include "app/workspace/Workspace.h"

#include <QPointer>
#include <QUuid>

namespace quillfern {

QCoro::Task<std::optional<APIFailure>> Workspace::createTransaction(TransactionCreateInput input)
{
    auto record = recordTransaction(std::move(input));
    auto recorded = co_await std::move(record);
    if (!recorded)
        co_return recorded.error();
    co_return std::nullopt;
}

QCoro::Task<APIResult<TransactionRecord>> Workspace::recordTransaction(TransactionCreateInput input)
{
    using Answer = APIResult<TransactionRecord>;
    const auto token = currentToken();
    if (!token)
        co_return Answer(APIFailure(PortfolioAPIError::invalidResponse()));
    const QPointer<Workspace> self(this);
    // The same trade posted again after an unanswered post carries the same key, so the service books it once.
    if (!m_unansweredPost || !(m_unansweredPost->input == input))
        m_unansweredPost = TransactionPost{input, QUuid::createUuid().toString(QUuid::WithoutBraces)};
    const QString key = m_unansweredPost->idempotencyKey;
    auto create = PortfolioAPI::createTransaction(m_endpoint, *token, std::move(input), key);
    auto created = co_await std::move(create);
    if (!created) {
        if (self && !isTransient(created.error()))
            m_unansweredPost.reset();
        co_return Answer(created.error());
    }
    if (!self)
        co_return Answer(*std::move(created));
    m_unansweredPost.reset();
    auto reload = reloadLedgerAndPortfolio(*token);
    if (auto failure = co_await std::move(reload))
        co_return Answer(std::move(*failure));
    co_return Answer(*std::move(created));
}

QCoro::Task<std::optional<APIFailure>> Workspace::updateTransaction(QString id, TransactionCreateInput input)
{
    const auto token = currentToken();
    if (!token)
        co_return APIFailure(PortfolioAPIError::invalidResponse());
    const QPointer<Workspace> self(this);
    auto update = PortfolioAPI::updateTransaction(m_endpoint, *token, std::move(id), std::move(input));
    auto updated = co_await std::move(update);
    if (!updated)
        co_return updated.error();
    if (!self)
        co_return std::nullopt;
    auto reload = reloadLedgerAndPortfolio(*token);
    co_return co_await std::move(reload);
}

QCoro::Task<std::optional<APIFailure>> Workspace::deleteTransaction(QString id)
{
    const auto token = currentToken();
    if (!token)
        co_return APIFailure(PortfolioAPIError::invalidResponse());
    const QPointer<Workspace> self(this);
    auto remove = PortfolioAPI::deleteTransaction(m_endpoint, *token, std::move(id));
    auto removed = co_await std::move(remove);
    if (!removed)
        co_return removed.error();
    if (!self)
        co_return std::nullopt;
    auto reload = reloadLedgerAndPortfolio(*token);
    co_return co_await std::move(reload);
}

QCoro::Task<std::optional<APIFailure>> Workspace::reloadLedgerAndPortfolio(QString token)
{
    const QPointer<Workspace> self(this);
    // Both reloads run at once; the ledger is awaited first, and a failure of it cancels the other.
    const CancelToken portfolioCancel = makeCancelToken();
    auto transactionsCall = PortfolioAPI::fetchTransactions(m_endpoint, token);
    auto portfolioCall = PortfolioAPI::fetchPortfolio(m_endpoint, token, portfolioCancel);
    auto transactions = co_await std::move(transactionsCall);
    if (!transactions) {
        portfolioCancel->cancel();
        co_await std::move(portfolioCall);
        co_return transactions.error();
    }
    auto portfolio = co_await std::move(portfolioCall);
    if (!portfolio)
        co_return portfolio.error();
    if (!self || !isSession(token))
        co_return std::nullopt;
    m_transactions = *std::move(transactions);
    Q_EMIT transactionsChanged();
    acceptServicePortfolio(*portfolio);
    schedulePortfolioSave();
    co_return std::nullopt;
}

} // namespace quillfern

#include "server/HttpSupport.h"
#include "server/Service.h"
#include "server/TransactionInput.h"

#include <QRegularExpression>

namespace quillfern::server {
namespace {

// An import of a broker's history and a whole account's backup are far larger than any other request.
constexpr std::size_t kLargeBodyBytes = 64 * 1024 * 1024;

// The transactions of an import, each checked as a single one would be; on failure a 400 naming the row
// has been sent.
std::optional<std::vector<std::pair<TransactionCreateInput, qint64>>> importRows(const TransactionImportRequest &body,
                                                                                 http::Response &response)
{
    static const QRegularExpression hash(QStringLiteral("^[0-9a-f]{64}$"));
    if (!hash.match(body.contentHash).hasMatch()) {
        sendError(response, 400, QStringLiteral("The content hash must be the file's SHA-256 in 64 hexadecimal digits."),
                  QStringLiteral("content_hash"));
        return std::nullopt;
    }
    if (body.transactions.isEmpty()) {
        sendError(response, 400, QStringLiteral("The import holds no transactions."), QStringLiteral("transactions"));
        return std::nullopt;
    }
    std::vector<std::pair<TransactionCreateInput, qint64>> rows;
    rows.reserve(std::size_t(body.transactions.size()));
    for (qsizetype i = 0; i < body.transactions.size(); ++i) {
        const TransactionCreateInput &input = body.transactions[i];
        if (const auto problem = transactionProblem(input)) {
            sendError(response, 400, problem->message, problem->field, int(i));
            return std::nullopt;
        }
        const auto tradedAt = parseTradeTime(input.tradedAt);
        if (!tradedAt) {
            sendError(response, 400,
                      QStringLiteral("The trade time must be an ISO 8601 date and time, such as 2024-05-01T09:30:00Z."),
                      QStringLiteral("traded_at"), int(i));
            return std::nullopt;
        }
        rows.emplace_back(input, *tradedAt);
    }
    return rows;
}

} // namespace

void Service::installExchangeRoutes()
{
    m_server.allowBody("/v1/transactions/import", kLargeBodyBytes);
    m_server.allowBody("/v1/backup", kLargeBodyBytes);

    m_server.route("POST", "/v1/transactions/import",
                   signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
                       const auto body = readJSON<TransactionImportRequest>(request, response);
                       if (!body)
                           return;
                       const auto rows = importRows(*body, response);
                       if (!rows)
                           return;
                       sendStored(request, response, 200,
                                  m_portfolios.importTransactions(user.id, *body, *rows, m_clock.nowSeconds()));
                   }));

    m_server.route("GET", "/v1/backup",
                   signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
                       sendStored(request, response, 200, m_portfolios.backup(user.id, m_clock.nowSeconds()));
                   }));

    m_server.route("PUT", "/v1/backup",
                   signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
                       const auto header = readJSON<BackupHeader>(request, response);
                       if (!header)
                           return;
                       if (const auto problem = PortfolioStore::backupHeaderProblem(*header))
                           return sendStoreError(response, *problem);
                       const auto backup = readJSON<AccountBackup>(request, response);
                       if (!backup)
                           return;
                       sendStored(request, response, 200,
                                  m_portfolios.restore(user.id, *backup, m_clock.nowSeconds()));
                   }));
}

} // namespace quillfern::server

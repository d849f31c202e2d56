#include "server/HttpSupport.h"
#include "server/ReferenceData.h"
#include "server/Service.h"
#include "server/market/QuoteSources.h"

#include <QDateTime>
#include <QRegularExpression>

namespace quillfern::server {
namespace {

// An internet date-time: 2024-05-01T09:30:00Z, optionally with fractions and a numeric offset.
std::optional<qint64> parseTradeTime(const QString &text)
{
    static const QRegularExpression shape(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d{1,9})?(Z|[+-]\\d{2}:\\d{2})$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return std::nullopt;
    return parsed.toMSecsSinceEpoch();
}

std::optional<QString> tradeProblem(const TransactionCreateInput &input)
{
    if (input.transactionType != QLatin1String("BUY") && input.transactionType != QLatin1String("SELL"))
        return QStringLiteral("The transaction type must be BUY or SELL.");
    if (input.broker.trimmed().isEmpty() || input.code.trimmed().isEmpty())
        return QStringLiteral("A transaction needs a broker and a stock code.");
    if (!(input.quantity > 0))
        return QStringLiteral("The quantity must be greater than 0.");
    if (!(input.price > 0))
        return QStringLiteral("The price must be greater than 0.");
    if (!(input.commission >= 0))
        return QStringLiteral("The commission cannot be negative.");
    return std::nullopt;
}

} // namespace

void Service::sendPortfolio(const httplib::Request &request, const QString &userID, qint64 version,
                            const PortfolioResponse &portfolio, httplib::Response &response)
{
    const auto encoded = encodeJSON(portfolio);
    if (!encoded)
        return sendError(response, 500, QStringLiteral("The service could not write its answer."));
    auto body = std::make_shared<const EncodedBody>(encoded->toStdString());
    m_portfolioCache.store(userID, version, body);
    sendBody(request, response, 200, *body);
}

void Service::installDataRoutes()
{
    m_server.Get("/v1/portfolio", signedIn([this](const SignedInUser &user, const httplib::Request &request,
                                                  httplib::Response &response) {
        if (const auto cached = m_portfolioCache.find(user.id, user.portfolioVersion))
            return sendBody(request, response, 200, *cached);
        const auto portfolio = m_portfolios.portfolio(user.id);
        if (!portfolio)
            return sendStoreError(response, portfolio.error());
        sendPortfolio(request, user.id, user.portfolioVersion, *portfolio, response);
    }));

    m_server.Put("/v1/portfolio", signedIn([this](const SignedInUser &user, const httplib::Request &request,
                                                  httplib::Response &response) {
        auto put = readJSON<PortfolioPutRequest>(request, response);
        if (!put)
            return;
        const auto stored = m_portfolios.replacePortfolio(user.id, std::move(*put));
        if (!stored)
            return sendStoreError(response, stored.error());
        sendPortfolio(request, user.id, stored->version, stored->portfolio, response);
    }));

    m_server.Get("/v1/currencies", signedIn([this](const SignedInUser &, const httplib::Request &request,
                                                   httplib::Response &response) {
        sendStored(request, response, 200, m_portfolios.currencies());
    }));

    m_server.Get("/v1/languages", signedIn([](const SignedInUser &, const httplib::Request &request,
                                              httplib::Response &response) {
        sendJSON(request, response, 200, languages());
    }));

    m_server.Get("/v1/gics-classifications",
                 signedIn([](const SignedInUser &, const httplib::Request &request, httplib::Response &response) {
                     // The same list for everyone while the service runs: encoded and compressed once.
                     static const EncodedBody classifications(encodeJSON(gicsClassifications())->toStdString());
                     sendBody(request, response, 200, classifications);
                 }));

    m_server.Get("/v1/brokerages", signedIn([this](const SignedInUser &user, const httplib::Request &request,
                                                   httplib::Response &response) {
        sendStored(request, response, 200, m_portfolios.brokerages(user.id));
    }));

    m_server.Post("/v1/brokerages",
                  signedIn([this](const SignedInUser &user, const httplib::Request &request, httplib::Response &response) {
                      const auto body = readJSON<BrokerageCreateRequest>(request, response);
                      if (!body)
                          return;
                      sendStored(request, response, 200, m_portfolios.addBrokerage(user.id, body->name));
                  }));

    m_server.Get("/v1/transactions", signedIn([this](const SignedInUser &user, const httplib::Request &request,
                                                     httplib::Response &response) {
        sendStored(request, response, 200, m_portfolios.transactions(user.id));
    }));

    m_server.Post("/v1/transactions",
                  signedIn([this](const SignedInUser &user, const httplib::Request &request, httplib::Response &response) {
                      const auto body = readJSON<TransactionCreateInput>(request, response);
                      if (!body)
                          return;
                      if (const auto problem = tradeProblem(*body))
                          return sendError(response, 400, *problem);
                      const auto tradedAt = parseTradeTime(body->tradedAt);
                      if (!tradedAt)
                          return sendError(response, 400,
                                           QStringLiteral("The trade time must be an ISO 8601 date and time, such as "
                                                          "2024-05-01T09:30:00Z."));
                      sendStored(request, response, 201, m_portfolios.addTransaction(user.id, *body, *tradedAt));
                  }));

    m_server.Get("/v1/market/stock", signedIn([this](const SignedInUser &, const httplib::Request &request,
                                                     httplib::Response &response) {
        const QString symbol = queryValue(request, "symbol").trimmed();
        const QString market = queryValue(request, "market").trimmed();
        if (symbol.isEmpty() || market.isEmpty())
            return sendError(response, 400, QStringLiteral("Ask for a price with both a symbol and a market."));
        const auto quote = m_quotes ? m_quotes->quote(symbol.toStdString(), market.toStdString()) : std::nullopt;
        if (!quote)
            return sendError(response, 404, QStringLiteral("No price is known for %1 in market %2.").arg(symbol, market));
        sendJSON(request, response, 200, StockPriceResponse{quote->price});
    }));
}

} // namespace quillfern::server

#include "server/HttpSupport.h"
#include "server/ReferenceData.h"
#include "server/Service.h"
#include "server/market/QuoteSources.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <string>

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

// A portfolio version as a strong entity tag: "7". Clients keep it as it came and send it back in If-Match.
std::string portfolioTag(qint64 version)
{
    return '"' + std::to_string(version) + '"';
}

// The versions an If-Match names, or none to apply the save whatever the version. Tags this service never
// hands out (weak, foreign, malformed) match nothing; so does a list too long for one statement, which no
// client that keeps one tag would send.
std::optional<QList<qint64>> expectedVersions(const IfMatch &condition)
{
    if (condition.kind != IfMatch::Kind::Tags)
        return std::nullopt;
    QList<qint64> versions;
    if (condition.strongTags.size() > 64)
        return versions;
    for (const std::string &tag : condition.strongTags) {
        bool ok = false;
        const qint64 version = QByteArray::fromStdString(tag.substr(1, tag.size() - 2)).toLongLong(&ok);
        // Strong comparison is character by character, so "07" is not the tag of version 7.
        if (ok && version >= 0 && portfolioTag(version) == tag && !versions.contains(version))
            versions.append(version);
    }
    return versions;
}

// A request's Idempotency-Key header: none, a key, or a value that cannot be one. A key is sent once and has
// 1 to 255 visible ASCII characters.
struct KeyHeader {
    std::optional<QString> key;
    bool malformed = false;
};

KeyHeader idempotencyKey(const http::Request &request)
{
    if (request.headerCount("Idempotency-Key") == 0)
        return {};
    const auto key = request.singleHeader("Idempotency-Key");
    const bool valid = key && !key->empty() && key->size() <= 255 &&
                       std::all_of(key->cbegin(), key->cend(), [](char c) { return c >= 0x21 && c <= 0x7e; });
    return valid ? KeyHeader{QString::fromLatin1(key->data(), qsizetype(key->size())), false}
                 : KeyHeader{std::nullopt, true};
}

} // namespace

void Service::sendPortfolio(const http::Request &request, const QString &userID, qint64 version,
                            const PortfolioResponse &portfolio, http::Response &response)
{
    const auto encoded = encodeJSON(portfolio);
    if (!encoded)
        return sendError(response, 500, QStringLiteral("The service could not write its answer."));
    auto body = std::make_shared<const EncodedBody>(encoded->toStdString());
    m_portfolioCache.store(userID, version, body);
    response.setHeader("ETag", portfolioTag(version));
    sendBody(request, response, 200, *body);
}

void Service::installDataRoutes()
{
    m_server.route("GET", "/v1/portfolio", signedIn([this](const SignedInUser &user, const http::Request &request,
                                                  http::Response &response) {
        // The version comes from the session check, which ran before the portfolio is read: the tag may be older
        // than the body (the next save with it is refused and reloads) but never newer, so a save with it cannot
        // overwrite a change this body lacks. A cached body was read at its version or later, the same way.
        if (const auto cached = m_portfolioCache.find(user.id, user.portfolioVersion)) {
            response.setHeader("ETag", portfolioTag(user.portfolioVersion));
            return sendBody(request, response, 200, *cached);
        }
        const auto portfolio = m_portfolios.portfolio(user.id);
        if (!portfolio)
            return sendStoreError(response, portfolio.error());
        sendPortfolio(request, user.id, user.portfolioVersion, *portfolio, response);
    }));

    m_server.route("PUT", "/v1/portfolio", signedIn([this](const SignedInUser &user, const http::Request &request,
                                                  http::Response &response) {
        auto put = readJSON<PortfolioPutRequest>(request, response);
        if (!put)
            return;
        const auto stored =
            m_portfolios.replacePortfolio(user.id, std::move(*put), expectedVersions(ifMatch(request)));
        if (!stored)
            return sendStoreError(response, stored.error());
        sendPortfolio(request, user.id, stored->version, stored->portfolio, response);
    }));

    m_server.route("GET", "/v1/currencies", signedInReader([this](const QString &, const http::Request &request,
                                                         http::Response &response) {
        sendStored(request, response, 200, m_portfolios.currencies());
    }));

    m_server.route("GET", "/v1/languages", signedInReader([](const QString &, const http::Request &request,
                                                    http::Response &response) {
        sendJSON(request, response, 200, languages());
    }));

    m_server.route("GET", "/v1/gics-classifications",
                 signedInReader([](const QString &, const http::Request &request, http::Response &response) {
                     // The same list for everyone while the service runs: encoded and compressed once.
                     static const EncodedBody classifications(encodeJSON(gicsClassifications())->toStdString());
                     sendBody(request, response, 200, classifications);
                 }));

    m_server.route("GET", "/v1/brokerages", signedInReader([this](const QString &userID, const http::Request &request,
                                                         http::Response &response) {
        sendStored(request, response, 200, m_portfolios.brokerages(userID));
    }));

    m_server.route("POST", "/v1/brokerages",
                  signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
                      const auto body = readJSON<BrokerageCreateRequest>(request, response);
                      if (!body)
                          return;
                      sendStored(request, response, 200, m_portfolios.addBrokerage(user.id, body->name));
                  }));

    m_server.route("GET", "/v1/transactions", signedInReader([this](const QString &userID, const http::Request &request,
                                                           http::Response &response) {
        sendStored(request, response, 200, m_portfolios.transactions(userID));
    }));

    m_server.route("POST", "/v1/transactions",
                  signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
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
                      const KeyHeader key = idempotencyKey(request);
                      if (key.malformed)
                          return sendError(response, 400,
                                           QStringLiteral("The Idempotency-Key header must be one value of 1 to 255 "
                                                          "visible ASCII characters."));
                      const auto booked = m_portfolios.addTransaction(
                          user.id, *body, *tradedAt,
                          key.key ? std::optional(RequestKey{*key.key, m_clock.nowSeconds()}) : std::nullopt);
                      sendStored(request, response, 201, booked);
                  }));

    m_server.route("GET", "/v1/market/stock", signedInReader([this](const QString &, const http::Request &request,
                                                           http::Response &response) {
        const QString symbol = queryValue(request, "symbol").trimmed();
        const QString market = queryValue(request, "market").trimmed();
        if (symbol.isEmpty() || market.isEmpty())
            return sendError(response, 400, QStringLiteral("Ask for a price with both a symbol and a market."));
        if (!m_quotes || !m_quotes->serves(market.toStdString()))
            return sendError(response, 404, QStringLiteral("No price source serves market %1.").arg(market));
        const auto quote = m_quotes->quote(symbol.toStdString(), market.toStdString());
        if (!quote)
            return sendError(response, 404, QStringLiteral("No price is known for %1 in market %2.").arg(symbol, market));
        const auto said = [](const std::string &text) {
            return text.empty() ? std::nullopt : std::optional(QString::fromStdString(text));
        };
        sendJSON(request, response, 200,
                 StockPriceResponse{quote->price, said(quote->currency), said(quote->asOf), said(quote->source)});
    }));
}

} // namespace quillfern::server

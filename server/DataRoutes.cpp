#include "core/ledger/LedgerRecords.h"
#include "server/HistoryKeeper.h"
#include "server/HttpSupport.h"
#include "server/ReferenceData.h"
#include "server/Service.h"
#include "server/TransactionInput.h"
#include "server/market/QuoteSources.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <string>

namespace quillfern::server {
namespace {

// The body of a new or corrected transaction and its time; on failure a 400 has been sent.
std::optional<std::pair<TransactionCreateInput, qint64>> readTransactionInput(const http::Request &request,
                                                                             http::Response &response)
{
    auto body = readJSON<TransactionCreateInput>(request, response);
    if (!body)
        return std::nullopt;
    if (const auto problem = transactionProblem(*body)) {
        sendError(response, 400, problem->message, problem->field);
        return std::nullopt;
    }
    const auto tradedAt = parseTradeTime(body->tradedAt);
    if (!tradedAt) {
        sendError(response, 400,
                  QStringLiteral("The trade time must be an ISO 8601 date and time, such as 2024-05-01T09:30:00Z."),
                  QStringLiteral("traded_at"));
        return std::nullopt;
    }
    return std::pair{std::move(*body), *tradedAt};
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
                      const auto body = readTransactionInput(request, response);
                      if (!body)
                          return;
                      const KeyHeader key = idempotencyKey(request);
                      if (key.malformed)
                          return sendError(response, 400,
                                           QStringLiteral("The Idempotency-Key header must be one value of 1 to 255 "
                                                          "visible ASCII characters."));
                      const auto booked = m_portfolios.addTransaction(
                          user.id, body->first, body->second,
                          key.key ? std::optional(RequestKey{*key.key, m_clock.nowSeconds()}) : std::nullopt);
                      sendStored(request, response, 201, booked);
                  }));

    m_server.route("PUT", "/v1/transactions/{}",
                  signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
                      const auto body = readTransactionInput(request, response);
                      if (!body)
                          return;
                      sendStored(request, response, 200,
                                 m_portfolios.updateTransaction(user.id, QString::fromStdString(request.pathParameter),
                                                                body->first, body->second, m_clock.nowSeconds()));
                  }));

    m_server.route("DELETE", "/v1/transactions/{}",
                  signedIn([this](const SignedInUser &user, const http::Request &request, http::Response &response) {
                      const auto removed = m_portfolios.deleteTransaction(
                          user.id, QString::fromStdString(request.pathParameter), m_clock.nowSeconds());
                      if (removed)
                          return sendStoreError(response, *removed);
                      response.status = 204;
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
        // The day's change is measured from the last daily close kept before the price's own day.
        const QString day = quote->asOf.size() >= 10 ? QString::fromStdString(quote->asOf.substr(0, 10))
                                                     : QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
        std::optional<double> previousClose;
        {
            Statement kept(m_database.connection(),
                           QStringLiteral("SELECT close FROM price_history WHERE market = ? AND symbol = ? AND day < ? "
                                          "ORDER BY day DESC LIMIT 1"),
                           {market.toUpper(), symbol.toUpper(), day});
            if (kept.next())
                previousClose = kept.number(0);
        }
        if (m_history)
            m_history->want(market.toUpper(), symbol.toUpper(),
                            QDate::fromString(day, Qt::ISODate).addDays(-14).toString(Qt::ISODate), day);
        sendJSON(request, response, 200,
                 StockPriceResponse{quote->price, said(quote->currency), said(quote->asOf), said(quote->source),
                                    previousClose});
    }));
}

} // namespace quillfern::server

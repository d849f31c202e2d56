#pragma once

// The one place the window talks to the portfolio service. Every call is a coroutine that suspends on the
// calling thread while the network stack works, and ends with a decoded record or an APIFailure whose
// description is the user's text. Nothing is cached, queued or retried.

#include "api/APIFailure.h"
#include "api/Cancellation.h"
#include "api/PortfolioSync.h"
#include "api/WireCoding.h"

#include <QCoroNetworkReply>
#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <optional>

namespace quillfern {

// Where and how requests go. The network manager must outlive the calls made through it.
struct APIEndpoint {
    QUrl baseURL;
    QPointer<QNetworkAccessManager> network;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
};

namespace PortfolioAPI {

// The service origin fixed when Quillfern was built, unless QUILLFERN_SERVICE_URL names another acceptable one.
const QUrl &baseURL();
// An https origin, or plain http on this machine's loopback; no path, no credentials.
bool isAcceptableOrigin(const QUrl &url);
// baseURL, reached through the calling thread's own network manager, with the 60-second timeout.
APIEndpoint defaultEndpoint();

struct NoBody {};

namespace detail {

struct HttpAnswer {
    int status = 0;
    QByteArray body;
};

QUrl joinURL(const QUrl &base, const QString &path);
QCoro::Task<APIResult<HttpAnswer>> exchange(APIEndpoint endpoint, QUrl url, QByteArray method, QString token,
                                            std::optional<QByteArray> body, CancelToken cancel);
// The service's "error" text for a refused request, or "<fallback>NNN)." when it gave none.
PortfolioAPIError refusal(const HttpAnswer &answer, const QString &fallbackPrefix);

} // namespace detail

// One authenticated JSON request to path (starting with "/"), decoded as Reply (a record or a QList of
// records). A body that cannot be encoded ends the call before anything is sent.
template <class Reply, class Body = NoBody>
QCoro::Task<APIResult<Reply>> send(APIEndpoint endpoint, QString path, QByteArray method, QString token,
                                   std::optional<Body> body = std::nullopt, CancelToken cancel = {})
{
    std::optional<QByteArray> encoded;
    if constexpr (!std::is_same_v<Body, NoBody>) {
        if (body) {
            auto json = encodeJSON(*body);
            if (!json)
                co_return APIResult<Reply>(APIFailure(json.error()));
            encoded = std::move(json).value();
        }
    }
    // Arguments are built before the co_await: g++ 12 destroys temporaries made inside one twice.
    QUrl url = detail::joinURL(endpoint.baseURL, path);
    auto exchange = detail::exchange(endpoint, std::move(url), std::move(method), std::move(token), std::move(encoded),
                                     std::move(cancel));
    auto answer = co_await std::move(exchange);
    if (!answer)
        co_return APIResult<Reply>(answer.error());
    if (answer->status < 200 || answer->status > 299)
        co_return APIResult<Reply>(
            APIFailure(detail::refusal(*answer, QStringLiteral("Portfolio request failed (HTTP "))));
    if constexpr (std::is_same_v<Reply, EmptyResponse>) {
        if (answer->body.isEmpty())
            co_return APIResult<Reply>(EmptyResponse{});
    }
    auto decoded = decodeJSON<Reply>(answer->body);
    if (!decoded)
        co_return APIResult<Reply>(APIFailure(decoded.error()));
    co_return APIResult<Reply>(std::move(decoded).value());
}

QCoro::Task<APIResult<PortfolioData>> fetchPortfolio(APIEndpoint endpoint, QString token, CancelToken cancel = {});
QCoro::Task<APIResult<PortfolioData>> savePortfolio(APIEndpoint endpoint, QString token, QList<AssetRow> holdings,
                                                    QList<CashRow> cashBalances, CancelToken cancel = {});
// The current price of one stock code in one market, in that market's currency.
QCoro::Task<APIResult<double>> fetchStockPrice(APIEndpoint endpoint, QString token, QString symbol, QString market,
                                               CancelToken cancel = {});

QCoro::Task<APIResult<QList<CurrencyOption>>> fetchCurrencies(APIEndpoint endpoint, QString token,
                                                              CancelToken cancel = {});
QCoro::Task<APIResult<QList<LanguageOption>>> fetchLanguages(APIEndpoint endpoint, QString token,
                                                             CancelToken cancel = {});
QCoro::Task<APIResult<QList<BrokerageOption>>> fetchBrokerages(APIEndpoint endpoint, QString token,
                                                               CancelToken cancel = {});
QCoro::Task<APIResult<BrokerageOption>> createBrokerage(APIEndpoint endpoint, QString token, QString name,
                                                        CancelToken cancel = {});
QCoro::Task<APIResult<QList<GICSClassification>>> fetchGICSClassifications(APIEndpoint endpoint, QString token,
                                                                           CancelToken cancel = {});
QCoro::Task<APIResult<QList<TransactionRecord>>> fetchTransactions(APIEndpoint endpoint, QString token,
                                                                   CancelToken cancel = {});
QCoro::Task<APIResult<TransactionRecord>> createTransaction(APIEndpoint endpoint, QString token,
                                                            TransactionCreateInput input, CancelToken cancel = {});
QCoro::Task<APIResult<EmptyResponse>> logout(APIEndpoint endpoint, QString token);

} // namespace PortfolioAPI
} // namespace quillfern

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
#include <QDate>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <optional>
#include <utility>

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

// Headers beyond the bearer token, sent verbatim: name first, then value.
using RawHeaders = QList<std::pair<QByteArray, QByteArray>>;

// A decoded answer with the service's tag for it (its ETag header as sent; empty when there was none).
template <class Reply> struct Versioned {
    Reply value;
    QByteArray version;
};

namespace detail {

struct HttpAnswer {
    int status = 0;
    QByteArray body;
    QByteArray etag;
};

QUrl joinURL(const QUrl &base, const QString &path);
// A header value that is not visible ASCII ends the call before anything is sent.
QCoro::Task<APIResult<HttpAnswer>> exchange(APIEndpoint endpoint, QUrl url, QByteArray method, QString token,
                                            std::optional<QByteArray> body, CancelToken cancel,
                                            QList<std::pair<QByteArray, QByteArray>> extraHeaders = {});
// A refused request: the service's "error" text in the words of the window's current language, or the
// catalogue's fallbackKey text with the status ({0}) when it gave none.
PortfolioAPIError refusal(const HttpAnswer &answer, QStringView fallbackKey);

} // namespace detail

// One authenticated JSON request to path (starting with "/"), decoded as Reply (a record or a QList of
// records), with the answer's ETag. A body that cannot be encoded ends the call before anything is sent.
template <class Reply, class Body = NoBody>
QCoro::Task<APIResult<Versioned<Reply>>> sendVersioned(APIEndpoint endpoint, QString path, QByteArray method,
                                                       QString token, std::optional<Body> body = std::nullopt,
                                                       CancelToken cancel = {}, RawHeaders extraHeaders = {})
{
    using Answer = APIResult<Versioned<Reply>>;
    std::optional<QByteArray> encoded;
    if constexpr (!std::is_same_v<Body, NoBody>) {
        if (body) {
            auto json = encodeJSON(*body);
            if (!json)
                co_return Answer(APIFailure(json.error()));
            encoded = std::move(json).value();
        }
    }
    // Arguments are built before the co_await: g++ 12 destroys temporaries made inside one twice.
    QUrl url = detail::joinURL(endpoint.baseURL, path);
    auto exchange = detail::exchange(endpoint, std::move(url), std::move(method), std::move(token), std::move(encoded),
                                     std::move(cancel), std::move(extraHeaders));
    auto answer = co_await std::move(exchange);
    if (!answer)
        co_return Answer(answer.error());
    if (answer->status < 200 || answer->status > 299)
        co_return Answer(APIFailure(detail::refusal(*answer, u"portfolioRequestFailed")));
    if constexpr (std::is_same_v<Reply, EmptyResponse>) {
        if (answer->body.isEmpty())
            co_return Answer(Versioned<Reply>{EmptyResponse{}, answer->etag});
    }
    auto decoded = decodeJSON<Reply>(answer->body);
    if (!decoded)
        co_return Answer(APIFailure(decoded.error()));
    co_return Answer(Versioned<Reply>{std::move(decoded).value(), answer->etag});
}

// sendVersioned for callers that have no use for the tag.
template <class Reply, class Body = NoBody>
QCoro::Task<APIResult<Reply>> send(APIEndpoint endpoint, QString path, QByteArray method, QString token,
                                   std::optional<Body> body = std::nullopt, CancelToken cancel = {},
                                   RawHeaders extraHeaders = {})
{
    auto request = sendVersioned<Reply, Body>(std::move(endpoint), std::move(path), std::move(method), std::move(token),
                                              std::move(body), std::move(cancel), std::move(extraHeaders));
    auto answer = co_await std::move(request);
    if (!answer)
        co_return APIResult<Reply>(answer.error());
    co_return APIResult<Reply>(std::move(answer).value().value);
}

// The portfolio, with the service's tag for it in version.
QCoro::Task<APIResult<PortfolioData>> fetchPortfolio(APIEndpoint endpoint, QString token, CancelToken cancel = {});
// Replaces the stored portfolio. With ifMatch, the service applies it only on top of the copy with that tag
// and otherwise refuses it with status 412; the answer carries the new tag.
QCoro::Task<APIResult<PortfolioData>> savePortfolio(APIEndpoint endpoint, QString token, QList<AssetRow> holdings,
                                                    QList<CashRow> cashBalances, QByteArray ifMatch = {},
                                                    CancelToken cancel = {});
// The current price of one stock code in one market, in that market's currency, with when and where the
// service's source priced it as far as the service says.
QCoro::Task<APIResult<StockPriceResponse>> fetchStockPrice(APIEndpoint endpoint, QString token, QString symbol,
                                                           QString market, CancelToken cancel = {});

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
// With an idempotency key, the service records a repeated request only once and answers it like the first.
QCoro::Task<APIResult<TransactionRecord>> createTransaction(APIEndpoint endpoint, QString token,
                                                            TransactionCreateInput input, QString idempotencyKey = {},
                                                            CancelToken cancel = {});
// Replaces the fields of the stored transaction with this id; the answer is the record as stored. A refusal
// names the field at fault in its sentence.
QCoro::Task<APIResult<TransactionRecord>> updateTransaction(APIEndpoint endpoint, QString token, QString id,
                                                            TransactionCreateInput input, CancelToken cancel = {});
// Removes the stored transaction with this id; the service answers with no body.
QCoro::Task<APIResult<EmptyResponse>> deleteTransaction(APIEndpoint endpoint, QString token, QString id,
                                                        CancelToken cancel = {});
// The account's daily value from one day to another (both included, yyyy-MM-dd) with its returns and
// income; with a benchmark listing, that listing's return over the same days too. A period without data
// answers an empty series, not a failure.
QCoro::Task<APIResult<PerformanceResponse>> fetchPerformance(APIEndpoint endpoint, QString token, QDate from,
                                                             QDate to, QString benchmark = {},
                                                             QString benchmarkMarket = {}, CancelToken cancel = {});
// Books many transactions at once, all or none; a refusal names the transaction at fault by its index (row)
// and its field. The same content hash books once: a repeat answers alreadyImported and changes nothing.
QCoro::Task<APIResult<TransactionImportResult>> importTransactions(APIEndpoint endpoint, QString token,
                                                                   TransactionImportRequest request,
                                                                   CancelToken cancel = {});
// The whole account as a backup file holds it.
QCoro::Task<APIResult<AccountBackup>> fetchBackup(APIEndpoint endpoint, QString token, CancelToken cancel = {});
// Replaces the whole account with a backup's content, atomically; a refusal leaves the account as it was.
QCoro::Task<APIResult<RestoreResult>> restoreBackup(APIEndpoint endpoint, QString token, AccountBackup backup,
                                                    CancelToken cancel = {});
QCoro::Task<APIResult<EmptyResponse>> logout(APIEndpoint endpoint, QString token);

} // namespace PortfolioAPI
} // namespace quillfern

#include "api/PortfolioAPI.h"

#include "text/Localization.h"

#include <QHostAddress>
#include <QNetworkRequest>

#include <algorithm>
#include <memory>

#ifndef QUILLFERN_API_BASE_URL
#error "QUILLFERN_API_BASE_URL must be set by the build"
#endif

namespace quillfern::PortfolioAPI {

bool isAcceptableOrigin(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    const QString host = url.host();
    const QHostAddress address(host);
    const bool loopback = host == QLatin1String("localhost") || (!address.isNull() && address.isLoopback());
    return url.scheme() == QLatin1String("http") && loopback;
}

const QUrl &baseURL()
{
    static const QUrl url = [] {
        // A local service for development and tests may be named at run time; a bearer token still never
        // travels in clear text beyond this machine.
        const QString chosen = qEnvironmentVariable("QUILLFERN_SERVICE_URL");
        if (!chosen.isEmpty()) {
            const QUrl runtime(chosen, QUrl::StrictMode);
            if (isAcceptableOrigin(runtime))
                return runtime;
            qWarning("QUILLFERN_SERVICE_URL is ignored: it must be an https origin or plain http on loopback");
        }
        const QUrl parsed(QStringLiteral(QUILLFERN_API_BASE_URL), QUrl::StrictMode);
        if (!parsed.isValid() || parsed.host().isEmpty())
            qFatal("The service base URL built into Quillfern is not a valid URL: %s", QUILLFERN_API_BASE_URL);
        return parsed;
    }();
    return url;
}

APIEndpoint defaultEndpoint()
{
    thread_local std::unique_ptr<QNetworkAccessManager> network;
    if (!network)
        network = std::make_unique<QNetworkAccessManager>();
    return APIEndpoint{baseURL(), network.get()};
}

namespace detail {
namespace {

// Header values go into the request verbatim, so anything but visible ASCII could split the request.
bool isVisibleASCII(char16_t c)
{
    return c > 0x20 && c < 0x7F;
}

bool isSafeHeaderValue(const QString &token)
{
    return std::all_of(token.cbegin(), token.cend(), [](QChar c) { return isVisibleASCII(c.unicode()); });
}

bool isSafeHeader(const std::pair<QByteArray, QByteArray> &header)
{
    const auto visible = [](char c) { return isVisibleASCII(static_cast<unsigned char>(c)); };
    return !header.first.isEmpty() && !header.first.contains(':') &&
           std::all_of(header.first.cbegin(), header.first.cend(), visible) &&
           std::all_of(header.second.cbegin(), header.second.cend(), visible);
}

constexpr const char *cancelledByCaller = "quillfernCancelledByCaller";

struct DeleteLater {
    void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
};

} // namespace

QUrl joinURL(const QUrl &base, const QString &path)
{
    return QUrl(base.toString(QUrl::FullyEncoded) + path, QUrl::StrictMode);
}

QCoro::Task<APIResult<HttpAnswer>> exchange(APIEndpoint endpoint, QUrl url, QByteArray method, QString token,
                                            std::optional<QByteArray> body, CancelToken cancel,
                                            QList<std::pair<QByteArray, QByteArray>> extraHeaders)
{
    using Kind = TransportError::Kind;
    if (cancel && cancel->isCancelled())
        co_return APIResult<HttpAnswer>(TransportError{Kind::Cancelled, QNetworkReply::OperationCanceledError, {}});
    if (!endpoint.network)
        co_return APIResult<HttpAnswer>(TransportError{Kind::Failed, QNetworkReply::UnknownNetworkError, {}});
    if (!isSafeHeaderValue(token))
        co_return APIResult<HttpAnswer>(TransportError{Kind::NotSent, QNetworkReply::ProtocolInvalidOperationError,
                                                       AppText::text(u"storedSessionDamaged")});
    if (!std::all_of(extraHeaders.cbegin(), extraHeaders.cend(), isSafeHeader))
        co_return APIResult<HttpAnswer>(TransportError{Kind::NotSent, QNetworkReply::ProtocolInvalidOperationError,
                                                       AppText::text(u"requestNotSent")});
    if (!url.isValid())
        co_return APIResult<HttpAnswer>(PortfolioAPIError::invalidResponse());

    QNetworkRequest request(url);
    request.setTransferTimeout(int(endpoint.timeout.count()));
    request.setRawHeader("Authorization", "Bearer " + token.toLatin1());
    if (body)
        request.setRawHeader("Content-Type", "application/json");
    for (const auto &[name, value] : extraHeaders)
        request.setRawHeader(name, value);

    // A POST without a body still says "Content-Length: 0"; servers may refuse a POST of unknown length.
    const bool sendsLength = body || method != "GET";
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        sendsLength ? endpoint.network->sendCustomRequest(request, method, body.value_or(QByteArray()))
                    : endpoint.network->sendCustomRequest(request, method));
    if (cancel) {
        QNetworkReply *raw = reply.get();
        QObject::connect(cancel.get(), &Cancellation::cancelled, raw, [raw] {
            raw->setProperty(cancelledByCaller, true);
            raw->abort();
        });
    }

    co_await reply.get();

    if (auto failure = transportFailure(*reply, reply->property(cancelledByCaller).toBool()))
        co_return APIResult<HttpAnswer>(std::move(*failure));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        co_return APIResult<HttpAnswer>(PortfolioAPIError::invalidResponse());
    co_return APIResult<HttpAnswer>(HttpAnswer{status.toInt(), reply->readAll(), reply->rawHeader("ETag")});
}

PortfolioAPIError refusal(const HttpAnswer &answer, QStringView fallbackKey)
{
    const auto error = decodeJSON<ServerError>(answer.body, KeyDecoding::UseKeysAsGiven);
    if (error && error->error.isEmpty())
        return PortfolioAPIError::server(answer.status, {});
    if (error) {
        const QStringView situation = answer.status == 401 ? u"sessionRefused" : u"serviceRefusal";
        PortfolioAPIError refused = PortfolioAPIError::server(answer.status, AppText::text(situation, {error->error}));
        refused.field = error->field;
        if (error->row && *error->row >= 0 && *error->row < 1e9)
            refused.row = int(*error->row);
        return refused;
    }
    return PortfolioAPIError::server(answer.status, AppText::text(fallbackKey, {QString::number(answer.status)}));
}

} // namespace detail

namespace {

APIResult<PortfolioData> versionedPortfolio(APIResult<Versioned<PortfolioResponse>> reply)
{
    if (!reply)
        return reply.error();
    PortfolioData data = portfolioData(reply->value);
    data.version = reply->version;
    return data;
}

} // namespace

QCoro::Task<APIResult<PortfolioData>> fetchPortfolio(APIEndpoint endpoint, QString token, CancelToken cancel)
{
    auto request = sendVersioned<PortfolioResponse>(endpoint, QStringLiteral("/v1/portfolio"), "GET", std::move(token),
                                                    std::optional<NoBody>(), std::move(cancel));
    auto reply = co_await std::move(request);
    co_return versionedPortfolio(std::move(reply));
}

QCoro::Task<APIResult<PortfolioData>> savePortfolio(APIEndpoint endpoint, QString token, QList<AssetRow> holdings,
                                                    QList<CashRow> cashBalances, QByteArray ifMatch, CancelToken cancel)
{
    RawHeaders headers;
    if (!ifMatch.isEmpty())
        headers.append({QByteArrayLiteral("If-Match"), std::move(ifMatch)});
    auto request = sendVersioned<PortfolioResponse>(endpoint, QStringLiteral("/v1/portfolio"), "PUT", std::move(token),
                                                    std::optional(portfolioPutRequest(holdings, cashBalances)),
                                                    std::move(cancel), std::move(headers));
    auto reply = co_await std::move(request);
    co_return versionedPortfolio(std::move(reply));
}

QCoro::Task<APIResult<StockPriceResponse>> fetchStockPrice(APIEndpoint endpoint, QString token, QString symbol,
                                                           QString market, CancelToken cancel)
{
    using Answer = APIResult<StockPriceResponse>;
    // Every byte outside the unreserved set is escaped, so "&", "=", "+" and "#" in a code stay inside it.
    const QString query = QStringLiteral("symbol=") + QString::fromLatin1(QUrl::toPercentEncoding(symbol)) +
                          QStringLiteral("&market=") + QString::fromLatin1(QUrl::toPercentEncoding(market));
    QUrl url = detail::joinURL(endpoint.baseURL, QStringLiteral("/v1/market/stock"));
    url.setQuery(query, QUrl::StrictMode);
    if (!url.isValid())
        co_return Answer(PortfolioAPIError::invalidResponse());

    auto exchange = detail::exchange(endpoint, url, "GET", std::move(token), std::nullopt, std::move(cancel));
    auto answer = co_await std::move(exchange);
    if (!answer)
        co_return Answer(answer.error());
    if (answer->status < 200 || answer->status > 299)
        co_return Answer(APIFailure(detail::refusal(*answer, u"priceRequestFailed")));
    // Decoded like every success body, so that "as_of" reaches asOf.
    auto price = decodeJSON<StockPriceResponse>(answer->body);
    if (!price)
        co_return Answer(APIFailure(price.error()));
    co_return Answer(std::move(price).value());
}

namespace {

template <class Reply>
QCoro::Task<APIResult<Reply>> get(APIEndpoint endpoint, const char *path, QString token, CancelToken cancel)
{
    return send<Reply>(std::move(endpoint), QString::fromLatin1(path), "GET", std::move(token), std::optional<NoBody>(),
                       std::move(cancel));
}

} // namespace

QCoro::Task<APIResult<QList<CurrencyOption>>> fetchCurrencies(APIEndpoint endpoint, QString token, CancelToken cancel)
{
    return get<QList<CurrencyOption>>(std::move(endpoint), "/v1/currencies", std::move(token), std::move(cancel));
}

QCoro::Task<APIResult<QList<LanguageOption>>> fetchLanguages(APIEndpoint endpoint, QString token, CancelToken cancel)
{
    return get<QList<LanguageOption>>(std::move(endpoint), "/v1/languages", std::move(token), std::move(cancel));
}

QCoro::Task<APIResult<QList<BrokerageOption>>> fetchBrokerages(APIEndpoint endpoint, QString token, CancelToken cancel)
{
    return get<QList<BrokerageOption>>(std::move(endpoint), "/v1/brokerages", std::move(token), std::move(cancel));
}

QCoro::Task<APIResult<BrokerageOption>> createBrokerage(APIEndpoint endpoint, QString token, QString name,
                                                        CancelToken cancel)
{
    return send<BrokerageOption>(std::move(endpoint), QStringLiteral("/v1/brokerages"), "POST", std::move(token),
                                 std::optional(BrokerageCreateRequest{std::move(name)}), std::move(cancel));
}

QCoro::Task<APIResult<QList<GICSClassification>>> fetchGICSClassifications(APIEndpoint endpoint, QString token,
                                                                           CancelToken cancel)
{
    return get<QList<GICSClassification>>(std::move(endpoint), "/v1/gics-classifications", std::move(token),
                                          std::move(cancel));
}

QCoro::Task<APIResult<QList<TransactionRecord>>> fetchTransactions(APIEndpoint endpoint, QString token,
                                                                   CancelToken cancel)
{
    return get<QList<TransactionRecord>>(std::move(endpoint), "/v1/transactions", std::move(token), std::move(cancel));
}

QCoro::Task<APIResult<TransactionRecord>> createTransaction(APIEndpoint endpoint, QString token,
                                                            TransactionCreateInput input, QString idempotencyKey,
                                                            CancelToken cancel)
{
    RawHeaders headers;
    if (!idempotencyKey.isEmpty())
        headers.append({QByteArrayLiteral("Idempotency-Key"), idempotencyKey.toUtf8()});
    return send<TransactionRecord>(std::move(endpoint), QStringLiteral("/v1/transactions"), "POST", std::move(token),
                                   std::optional(std::move(input)), std::move(cancel), std::move(headers));
}

QCoro::Task<APIResult<TransactionImportResult>> importTransactions(APIEndpoint endpoint, QString token,
                                                                   TransactionImportRequest request, CancelToken cancel)
{
    return send<TransactionImportResult>(std::move(endpoint), QStringLiteral("/v1/transactions/import"), "POST",
                                         std::move(token), std::optional(std::move(request)), std::move(cancel));
}

QCoro::Task<APIResult<AccountBackup>> fetchBackup(APIEndpoint endpoint, QString token, CancelToken cancel)
{
    return get<AccountBackup>(std::move(endpoint), "/v1/backup", std::move(token), std::move(cancel));
}

QCoro::Task<APIResult<RestoreResult>> restoreBackup(APIEndpoint endpoint, QString token, AccountBackup backup,
                                                    CancelToken cancel)
{
    return send<RestoreResult>(std::move(endpoint), QStringLiteral("/v1/backup"), "PUT", std::move(token),
                               std::optional(std::move(backup)), std::move(cancel));
}

namespace {

// Ids are the service's own, but any byte outside the unreserved set is escaped so it stays one segment.
QString transactionPath(const QString &id)
{
    return QStringLiteral("/v1/transactions/") + QString::fromLatin1(QUrl::toPercentEncoding(id));
}

} // namespace

QCoro::Task<APIResult<TransactionRecord>> updateTransaction(APIEndpoint endpoint, QString token, QString id,
                                                            TransactionCreateInput input, CancelToken cancel)
{
    return send<TransactionRecord>(std::move(endpoint), transactionPath(id), "PUT", std::move(token),
                                   std::optional(std::move(input)), std::move(cancel));
}

QCoro::Task<APIResult<EmptyResponse>> deleteTransaction(APIEndpoint endpoint, QString token, QString id,
                                                        CancelToken cancel)
{
    return send<EmptyResponse>(std::move(endpoint), transactionPath(id), "DELETE", std::move(token),
                               std::optional<NoBody>(), std::move(cancel));
}

QCoro::Task<APIResult<PerformanceResponse>> fetchPerformance(APIEndpoint endpoint, QString token, QDate from,
                                                             QDate to, QString benchmark, QString benchmarkMarket,
                                                             CancelToken cancel)
{
    using Answer = APIResult<PerformanceResponse>;
    QString query = QStringLiteral("from=") + from.toString(Qt::ISODate) + QStringLiteral("&to=") +
                    to.toString(Qt::ISODate);
    if (!benchmark.isEmpty()) {
        query += QStringLiteral("&benchmark=") + QString::fromLatin1(QUrl::toPercentEncoding(benchmark));
        if (!benchmarkMarket.isEmpty())
            query += QStringLiteral("&benchmark_market=") + QString::fromLatin1(QUrl::toPercentEncoding(benchmarkMarket));
    }
    QUrl url = detail::joinURL(endpoint.baseURL, QStringLiteral("/v1/performance"));
    url.setQuery(query, QUrl::StrictMode);
    if (!from.isValid() || !to.isValid() || !url.isValid())
        co_return Answer(TransportError{TransportError::Kind::NotSent, QNetworkReply::ProtocolInvalidOperationError,
                                        AppText::text(u"requestNotSent")});

    auto exchange = detail::exchange(endpoint, url, "GET", std::move(token), std::nullopt, std::move(cancel));
    auto answer = co_await std::move(exchange);
    if (!answer)
        co_return Answer(answer.error());
    if (answer->status < 200 || answer->status > 299)
        co_return Answer(APIFailure(detail::refusal(*answer, u"performanceRequestFailed")));
    auto performance = decodeJSON<PerformanceResponse>(answer->body);
    if (!performance)
        co_return Answer(APIFailure(performance.error()));
    co_return Answer(std::move(performance).value());
}

QCoro::Task<APIResult<EmptyResponse>> logout(APIEndpoint endpoint, QString token)
{
    return send<EmptyResponse>(std::move(endpoint), QStringLiteral("/v1/auth/logout"), "POST", std::move(token));
}

} // namespace quillfern::PortfolioAPI

#include "server/market/HttpFetch.h"

#include <QUrl>

#include <httplib.h>

namespace quillfern::server::market {

std::optional<HttpLocation> locate(const std::string &url)
{
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        parsed.host().isEmpty())
        return std::nullopt;

    QString host = parsed.host(QUrl::FullyEncoded);
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const int port = parsed.port(scheme == QLatin1String("https") ? 443 : 80);

    HttpLocation location;
    location.origin = QStringLiteral("%1://%2:%3").arg(scheme, host).arg(port).toStdString();
    location.target = parsed.path(QUrl::FullyEncoded).toStdString();
    if (location.target.empty())
        location.target = "/";
    if (parsed.hasQuery())
        location.target += '?' + parsed.query(QUrl::FullyEncoded).toStdString();
    return location;
}

std::variant<HttpAnswer, std::string> httpGet(const HttpLocation &location, std::chrono::seconds timeout,
                                              std::size_t maxBytes)
{
    httplib::Client client(location.origin);
    if (!client.is_valid())
        return std::string("cannot open a client for ") + location.origin;
    const auto seconds = static_cast<time_t>(timeout.count());
    client.set_connection_timeout(seconds);
    client.set_read_timeout(seconds);
    client.set_write_timeout(seconds);
    client.set_tcp_nodelay(true);
    client.set_keep_alive(false);
    client.set_follow_location(true);
    // The target is already percent-encoded; encoding it again would turn '%' sequences into something else.
    client.set_url_encode(false);

    // The read timeout restarts with every byte, so a server that trickles needs this overall bound too.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool tooLarge = false;
    bool late = false;
    const httplib::Headers headers{{"User-Agent", "quillfern-server"}};
    const auto result = client.Get(location.target, headers, [&](uint64_t received, uint64_t) {
        tooLarge = received > maxBytes;
        late = std::chrono::steady_clock::now() > deadline;
        return !tooLarge && !late;
    });
    if (!result) {
        if (tooLarge)
            return location.origin + ": the answer passed " + std::to_string(maxBytes) + " bytes";
        if (late)
            return location.origin + ": no complete answer within " + std::to_string(timeout.count()) + " s";
        return location.origin + ": " + httplib::to_string(result.error());
    }
    return HttpAnswer{result->status, result->body};
}

} // namespace quillfern::server::market

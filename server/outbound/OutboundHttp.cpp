#include "server/outbound/OutboundHttp.h"

#include <httplib.h>

#include <QUrl>

#include <algorithm>
#include <optional>

namespace quillfern::server::outbound {
namespace {

struct Target {
    std::string origin; // scheme://host[:port], as httplib::Client takes it
    std::string path;   // path and query, escaped, sent as they are
};

bool isLoopback(const QString &host)
{
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    if (!host.startsWith(QLatin1String("127.")))
        return false;
    return std::all_of(host.begin(), host.end(), [](QChar c) { return c == u'.' || c.isDigit(); });
}

std::variant<Target, Failure> splitURL(const std::string &url)
{
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    const QString host = parsed.host(QUrl::FullyEncoded);
    if (!parsed.isValid() || host.isEmpty() || !parsed.userInfo().isEmpty() || parsed.hasFragment() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return Failure{Failure::Kind::NotHttp, "the address is not a valid http(s) URL"};
    if (scheme == QLatin1String("http") && !isLoopback(host))
        return Failure{Failure::Kind::ClearText, "the address must use https"};

    Target target;
    const QString bracketed = host.contains(u':') ? u'[' + host + u']' : host;
    target.origin = (scheme + QLatin1String("://") + bracketed).toStdString();
    if (parsed.port() != -1)
        target.origin += ':' + std::to_string(parsed.port());
    target.path = parsed.path(QUrl::FullyEncoded).toStdString();
    if (target.path.empty())
        target.path = "/";
    if (parsed.hasQuery())
        target.path += '?' + parsed.query(QUrl::FullyEncoded).toStdString();
    return target;
}

std::string describe(httplib::Error error)
{
    switch (error) {
    case httplib::Error::Connection:
        return "the connection failed";
    case httplib::Error::ConnectionTimeout:
        return "the connection timed out";
    case httplib::Error::Read:
    case httplib::Error::Write:
        return "the connection broke off or timed out";
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLLoadingCerts:
        return "no secure connection could be made";
    case httplib::Error::SSLServerVerification:
        return "its certificate could not be verified";
    default:
        return "the request failed";
    }
}

Outcome send(httplib::Request request, const std::string &url, const Options &options)
{
    auto split = splitURL(url);
    if (auto *refusal = std::get_if<Failure>(&split))
        return std::move(*refusal);
    const auto &target = std::get<Target>(split);

    httplib::Client client(target.origin);
    if (!client.is_valid())
        return Failure{Failure::Kind::NotHttp, "the address is not a valid http(s) URL"};
    const auto seconds = static_cast<time_t>(options.timeout.count());
    client.set_connection_timeout(seconds);
    client.set_read_timeout(seconds);
    client.set_write_timeout(seconds);
    client.set_follow_location(false);
    client.set_keep_alive(false);
    client.set_tcp_nodelay(true);
    client.enable_server_certificate_verification(true);
    // The target is escaped already; escaping it again would change what some '%' sequences say.
    client.set_url_encode(false);

    // The read timeout restarts with every read, so a server trickling bytes needs this overall bound too.
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::optional<std::string> abandoned;
    Answer answer;
    request.path = target.path;
    request.set_header("Accept", options.accept);
    request.set_header("User-Agent", "quillfern-server");
    request.content_receiver = [&](const char *data, std::size_t length, std::uint64_t, std::uint64_t) {
        if (answer.body.size() + length > options.maxBytes) {
            abandoned = "the answer was too large (over " + std::to_string(options.maxBytes) + " bytes)";
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            abandoned = "the answer took too long (over " + std::to_string(options.timeout.count()) + " s)";
            return false;
        }
        answer.body.append(data, length);
        return true;
    };

    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    if (!client.send(request, response, error))
        return Failure{Failure::Kind::NoAnswer, abandoned.value_or(describe(error))};
    answer.status = response.status;
    answer.cacheControl = response.get_header_value("Cache-Control");
    return answer;
}

} // namespace

std::string Failure::sentence(const std::string &serviceName) const
{
    switch (kind) {
    case Kind::NotHttp:
        return "The address configured for " + serviceName + " is not a valid http(s) URL.";
    case Kind::ClearText:
        return "The address configured for " + serviceName + " must use https.";
    case Kind::NoAnswer:
        break;
    }
    return "Could not get an answer from " + serviceName + ": " + reason + '.';
}

Outcome get(const std::string &url, const Options &options)
{
    httplib::Request request;
    request.method = "GET";
    return send(std::move(request), url, options);
}

Outcome postForm(const std::string &url, const FormFields &fields, const Options &options)
{
    httplib::Request request;
    request.method = "POST";
    request.body = encodeFields(fields);
    request.set_header("Content-Type", "application/x-www-form-urlencoded");
    return send(std::move(request), url, options);
}

} // namespace quillfern::server::outbound

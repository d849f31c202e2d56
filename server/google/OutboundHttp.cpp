#include "server/google/OutboundHttp.h"

#include <httplib.h>

#include <QUrl>

#include <algorithm>
#include <chrono>
#include <optional>

namespace quillfern::server::google {
namespace {

constexpr int timeoutSeconds = 10;
constexpr std::size_t maximumAnswerBytes = 1024 * 1024;

struct Target {
    std::string origin; // scheme://host[:port], as httplib::Client takes it
    std::string path;   // path and query, escaped
};

bool isLoopback(const QString &host)
{
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    if (!host.startsWith(QLatin1String("127.")))
        return false;
    return std::all_of(host.begin(), host.end(), [](QChar c) { return c == u'.' || c.isDigit(); });
}

std::variant<Target, std::string> splitURL(const std::string &url, const std::string &serviceName)
{
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    const QString host = parsed.host(QUrl::FullyEncoded);
    if (!parsed.isValid() || host.isEmpty() || !parsed.userInfo().isEmpty() || parsed.hasFragment() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return "The address configured for " + serviceName + " is not a valid http(s) URL.";
    if (scheme == QLatin1String("http") && !isLoopback(host))
        return "The address configured for " + serviceName + " must use https.";

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

HttpOutcome send(httplib::Request request, const std::string &url, const std::string &serviceName)
{
    auto split = splitURL(url, serviceName);
    if (const auto *refusal = std::get_if<std::string>(&split))
        return *refusal;
    const auto &target = std::get<Target>(split);

    httplib::Client client(target.origin);
    if (!client.is_valid())
        return "The address configured for " + serviceName + " is not a valid http(s) URL.";
    client.set_connection_timeout(timeoutSeconds);
    client.set_read_timeout(timeoutSeconds);
    client.set_write_timeout(timeoutSeconds);
    client.set_follow_location(false);
    client.set_tcp_nodelay(true);

    // The read timeout is per read, so a server trickling bytes could otherwise hold a sign-in for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    std::optional<std::string> abandoned;
    HttpAnswer answer;
    request.path = target.path;
    request.set_header("Accept", "application/json");
    request.content_receiver = [&](const char *data, std::size_t length, std::uint64_t, std::uint64_t) {
        if (answer.body.size() + length > maximumAnswerBytes) {
            abandoned = "the answer was too large";
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            abandoned = "the answer took too long";
            return false;
        }
        answer.body.append(data, length);
        return true;
    };

    httplib::Response response;
    httplib::Error error = httplib::Error::Success;
    if (!client.send(request, response, error))
        return "Could not get an answer from " + serviceName + ": " + abandoned.value_or(describe(error)) + '.';
    answer.status = response.status;
    answer.cacheControl = response.get_header_value("Cache-Control");
    return answer;
}

} // namespace

HttpOutcome httpGet(const std::string &url, const std::string &serviceName)
{
    httplib::Request request;
    request.method = "GET";
    return send(std::move(request), url, serviceName);
}

HttpOutcome httpPostForm(const std::string &url, const FormFields &fields, const std::string &serviceName)
{
    httplib::Request request;
    request.method = "POST";
    request.body = encodeFields(fields);
    request.set_header("Content-Type", "application/x-www-form-urlencoded");
    return send(std::move(request), url, serviceName);
}

} // namespace quillfern::server::google

#include "tests/server/google/GoogleStandIn.h"

#include <httplib.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

namespace quillfern::testing {
namespace {

std::string single(const httplib::Request &request, const std::string &name)
{
    return request.get_param_value_count(name) == 1 ? request.get_param_value(name) : std::string();
}

} // namespace

GoogleStandIn::GoogleStandIn(Client client) : m_server(std::make_unique<httplib::Server>()), m_client(std::move(client))
{
    m_server->set_tcp_nodelay(true);
    m_server->set_payload_max_length(64 * 1024);

    m_server->Post("/token", [this](const httplib::Request &request, httplib::Response &response) {
        std::unique_lock lock(m_mutex);
        TokenRequest received{request.get_header_value("Content-Type"), {}};
        for (const auto &[name, value] : request.params)
            received.fields.emplace(name, value);
        m_tokenRequests.push_back(std::move(received));

        if (m_hang) {
            m_stopping.wait_for(lock, std::chrono::seconds(60), [this] { return m_stopped; });
            return;
        }
        if (m_trickle) {
            response.set_chunked_content_provider(
                "application/json", [this](std::size_t sent, httplib::DataSink &sink) {
                    std::unique_lock lock(m_mutex);
                    const bool stopped =
                        m_stopping.wait_for(lock, std::chrono::milliseconds(500), [this] { return m_stopped; });
                    if (stopped || sent >= 120) {
                        sink.done();
                        return true;
                    }
                    return sink.write(" ", 1);
                });
            return;
        }
        if (m_tokenOverride) {
            response.status = m_tokenOverride->status;
            response.set_content(m_tokenOverride->body, m_tokenOverride->contentType.c_str());
            return;
        }
        const auto issued = m_issued.find(single(request, "code"));
        const bool formOK = request.get_header_value("Content-Type") == "application/x-www-form-urlencoded";
        if (!formOK || issued == m_issued.end() || single(request, "grant_type") != "authorization_code" ||
            single(request, "client_id") != m_client.id || single(request, "client_secret") != m_client.secret ||
            single(request, "redirect_uri") != m_client.redirectURI) {
            response.status = 400;
            response.set_content(R"({"error":"invalid_grant","error_description":"Bad Request"})", "application/json");
            return;
        }
        const QJsonObject answer{
            {QStringLiteral("access_token"), QStringLiteral("ya29.stand-in-access")},
            {QStringLiteral("expires_in"), 3599},
            {QStringLiteral("token_type"), QStringLiteral("Bearer")},
            {QStringLiteral("scope"), QStringLiteral("openid email profile")},
            {QStringLiteral("id_token"), QString::fromStdString(issued->second)},
        };
        response.set_content(QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    });

    m_server->Get("/certs", [this](const httplib::Request &, httplib::Response &response) {
        std::lock_guard lock(m_mutex);
        ++m_keyFetches;
        response.status = m_keys.status;
        response.set_content(m_keys.body, m_keys.contentType.c_str());
        if (!m_keysCacheControl.empty())
            response.set_header("Cache-Control", m_keysCacheControl);
    });

    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    for (int i = 0; i < 400 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

GoogleStandIn::~GoogleStandIn()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_stopping.notify_all();
    m_server->stop();
    m_thread.join();
}

std::string GoogleStandIn::origin() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

void GoogleStandIn::issue(const std::string &code, const std::string &idToken)
{
    std::lock_guard lock(m_mutex);
    m_issued[code] = idToken;
}

void GoogleStandIn::trickleTokenAnswers()
{
    std::lock_guard lock(m_mutex);
    m_trickle = true;
}

void GoogleStandIn::answerTokenRequestsWith(Scripted answer)
{
    std::lock_guard lock(m_mutex);
    m_tokenOverride = std::move(answer);
}

void GoogleStandIn::hangTokenRequests()
{
    std::lock_guard lock(m_mutex);
    m_hang = true;
}

void GoogleStandIn::publishKeys(Scripted answer, std::string cacheControl)
{
    std::lock_guard lock(m_mutex);
    m_keys = std::move(answer);
    m_keysCacheControl = std::move(cacheControl);
}

std::vector<GoogleStandIn::TokenRequest> GoogleStandIn::tokenRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_tokenRequests;
}

int GoogleStandIn::keyFetches() const
{
    std::lock_guard lock(m_mutex);
    return m_keyFetches;
}

} // namespace quillfern::testing

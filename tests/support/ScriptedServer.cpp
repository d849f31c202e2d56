#include "tests/support/ScriptedServer.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace quillfern::testing {
namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

bool ScriptedServer::Received::hasHeader(const std::string &name) const
{
    return std::any_of(headers.begin(), headers.end(), [&](const auto &h) { return lower(h.first) == lower(name); });
}

std::string ScriptedServer::Received::header(const std::string &name) const
{
    for (const auto &[key, value] : headers) {
        if (lower(key) == lower(name))
            return value;
    }
    return {};
}

ScriptedServer::ScriptedServer() : m_server(std::make_unique<httplib::Server>())
{
    m_server->set_tcp_nodelay(true);
    const auto route = [this](const std::string &method) {
        return [this, method](const httplib::Request &request, httplib::Response &response) {
            handle(method, &request, &response);
        };
    };
    m_server->Get(".*", route("GET"));
    m_server->Post(".*", route("POST"));
    m_server->Put(".*", route("PUT"));
    m_server->Delete(".*", route("DELETE"));
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    for (int i = 0; i < 200 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

ScriptedServer::~ScriptedServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_stopping.notify_all();
    m_server->stop();
    m_thread.join();
}

void ScriptedServer::on(const std::string &method, const std::string &path, Reply reply)
{
    std::lock_guard lock(m_mutex);
    m_replies[{method, path}] = std::move(reply);
}

std::vector<ScriptedServer::Received> ScriptedServer::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

QUrl ScriptedServer::baseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

void ScriptedServer::handle(const std::string &method, const void *requestPointer, void *responsePointer)
{
    const auto &request = *static_cast<const httplib::Request *>(requestPointer);
    auto &response = *static_cast<httplib::Response *>(responsePointer);

    std::unique_lock lock(m_mutex);
    Received received{method, request.path, request.target, {}, request.body};
    for (const auto &[name, value] : request.headers)
        received.headers.emplace(name, value);
    m_received.push_back(std::move(received));

    // A reply scripted for the exact target (query included) wins over one for the path.
    auto found = m_replies.find({method, request.target});
    if (found == m_replies.end())
        found = m_replies.find({method, request.path});
    if (found == m_replies.end()) {
        response.status = 404;
        response.set_content(R"({"error":"No such route in this test."})", "application/json");
        return;
    }
    const Reply reply = found->second;
    if (reply.hang) {
        // Bounded, so a test that forgets to stop the client cannot hang the suite.
        m_stopping.wait_for(lock, std::chrono::seconds(30), [this] { return m_stopped; });
        return;
    }
    if (reply.delay.count() > 0 && m_stopping.wait_for(lock, reply.delay, [this] { return m_stopped; }))
        return;
    response.status = reply.status;
    for (const auto &[name, value] : reply.headers)
        response.set_header(name, value);
    if (reply.echo)
        response.set_content(request.body, reply.contentType);
    else if (!reply.body.empty())
        response.set_content(reply.body, reply.contentType);
}

} // namespace quillfern::testing

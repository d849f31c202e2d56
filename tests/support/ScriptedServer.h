#pragma once

#include <QByteArray>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace quillfern::testing {

// A small HTTP server on 127.0.0.1 for tests: it answers each method and path with a scripted reply and
// records exactly what it received.
class ScriptedServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        bool hang = false;                  // never answer, until the server stops or the client leaves
        std::chrono::milliseconds delay{0}; // answer only after this long
        bool echo = false;                  // answer with the request's own body
        // Sent with the answer, besides Content-Type.
        std::multimap<std::string, std::string> headers{};
    };

    struct Received {
        std::string method;
        std::string path;
        std::string target; // the raw request target, query and escapes as sent
        std::multimap<std::string, std::string> headers;
        std::string body;

        bool hasHeader(const std::string &name) const;
        std::string header(const std::string &name) const;
    };

    ScriptedServer();
    ~ScriptedServer();

    // path is either a path alone or a whole target with its query, which is matched first.
    void on(const std::string &method, const std::string &path, Reply reply);
    std::vector<Received> received() const;
    int port() const { return m_port; }
    QUrl baseURL() const;

private:
    void handle(const std::string &method, const void *request, void *response);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stopped = false;
    std::map<std::pair<std::string, std::string>, Reply> m_replies;
    std::vector<Received> m_received;
};

} // namespace quillfern::testing

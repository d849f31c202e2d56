#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace quillfern::testing {

// Google's token and signing-key endpoints, played on 127.0.0.1. The token endpoint behaves like the real
// one: it trades a code it issued for an answer carrying that code's ID token, and only when the client
// credentials and redirect URI match; everything else gets 400 invalid_grant.
class GoogleStandIn {
public:
    struct Client {
        std::string id;
        std::string secret;
        std::string redirectURI;
    };

    struct TokenRequest {
        std::string contentType;
        std::multimap<std::string, std::string> fields;
    };

    struct Scripted {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
    };

    explicit GoogleStandIn(Client client);
    ~GoogleStandIn();

    std::string tokenURL() const { return origin() + "/token"; }
    std::string keysURL() const { return origin() + "/certs"; }
    std::string origin() const;

    void issue(const std::string &code, const std::string &idToken);
    // Every token request gets this answer instead, whatever it carries.
    void answerTokenRequestsWith(Scripted answer);
    // Token requests are never answered, until the stand-in stops (a minute at most).
    void hangTokenRequests();
    // Token answers arrive one blank every half second, for a minute at most, so no single read waits long.
    void trickleTokenAnswers();
    void publishKeys(Scripted answer, std::string cacheControl = {});

    std::vector<TokenRequest> tokenRequests() const;
    int keyFetches() const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    const Client m_client;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stopped = false;
    bool m_hang = false;
    bool m_trickle = false;
    std::map<std::string, std::string> m_issued;
    std::optional<Scripted> m_tokenOverride;
    Scripted m_keys;
    std::string m_keysCacheControl;
    std::vector<TokenRequest> m_tokenRequests;
    int m_keyFetches = 0;
};

} // namespace quillfern::testing

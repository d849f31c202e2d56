#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

namespace quillfern::testing {

// An HTTP server on 127.0.0.1 that answers every request with the same raw bytes and then closes the
// connection or leaves it open: the answers cut short or stalled mid-body that a server library won't send.
// It runs on the calling thread's event loop.
class RawHttpStandIn {
public:
    enum class Then { Close, Stall };

    RawHttpStandIn(QByteArray answer, Then then);

    bool isListening() const { return m_server.isListening(); }
    QUrl baseURL() const;
    // Requests read to their end so far.
    int requests() const { return m_requests; }

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QByteArray m_answer;
    Then m_then;
    int m_requests = 0;
};

} // namespace quillfern::testing

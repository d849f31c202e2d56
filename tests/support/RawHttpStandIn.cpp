#include "tests/support/RawHttpStandIn.h"

#include <QTcpSocket>

namespace quillfern::testing {

RawHttpStandIn::RawHttpStandIn(QByteArray answer, Then then) : m_answer(std::move(answer)), m_then(then)
{
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
    m_server.listen(QHostAddress::LocalHost);
}

QUrl RawHttpStandIn::baseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void RawHttpStandIn::serve(QTcpSocket *socket)
{
    // The whole request is read first, so closing never discards a body the client is still sending.
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received = QByteArray()]() mutable {
        received += socket->readAll();
        const qsizetype headerEnd = received.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        qsizetype length = 0;
        for (const QByteArray &line : received.left(headerEnd).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = line.mid(colon + 1).trimmed().toLongLong();
        }
        if (received.size() < headerEnd + 4 + length)
            return;
        received.clear();
        ++m_requests;
        socket->write(m_answer);
        if (m_then == Then::Close)
            socket->disconnectFromHost();
    });
}

} // namespace quillfern::testing

#include "auth/desktop/InstanceChannel.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace quillfern {
namespace {

// A handed-over message is a few links; anything longer is not from us.
constexpr qint64 messageLimit = 64 * 1024;

QString privateFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/quillfern-") + QString::number(getuid());
    return folder;
}

} // namespace

InstanceChannel::InstanceChannel(QString folder, QObject *parent)
    : QObject(parent), m_folder(folder.isEmpty() ? privateFolder() : std::move(folder))
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::socketPath() const { return m_folder + QStringLiteral("/quillfern.socket"); }

InstanceChannel::Role InstanceChannel::claim()
{
    if (!QDir().mkpath(m_folder))
        return Role::Unavailable;
    QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    // The lock decides who is primary: listening alone would silently take over a live primary's socket.
    m_lock = std::make_unique<QLockFile>(m_folder + QStringLiteral("/quillfern.lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(100)) {
        m_lock.reset();
        return Role::Secondary;
    }
    QLocalServer::removeServer(socketPath()); // left behind by a primary that was killed
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(socketPath())) {
        m_lock.reset();
        return Role::Unavailable;
    }
    return Role::Primary;
}

bool InstanceChannel::forward(const QStringList &links, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    for (const QString &link : links)
        message += link.toUtf8().replace('\n', "%0A") + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine() == "ok\n";
}

void InstanceChannel::serve(QLocalSocket *socket)
{
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        if (buffer->size() > messageLimit) {
            socket->abort();
            return;
        }
        if (!buffer->endsWith("\n\n") && *buffer != "\n")
            return;
        QStringList links;
        for (const QByteArray &line : buffer->split('\n')) {
            if (!line.isEmpty())
                links.append(QString::fromUtf8(line));
        }
        buffer->clear();
        socket->write("ok\n");
        socket->flush();
        Q_EMIT linksReceived(links);
    });
}

} // namespace quillfern

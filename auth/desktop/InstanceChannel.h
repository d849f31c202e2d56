#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>

namespace quillfern {

// Keeps one running Quillfern per user. The first process becomes the primary and listens on a socket in
// the user's private runtime folder; a later one (such as the browser opening a quillfern:// link) hands
// its links to the primary and exits.
class InstanceChannel : public QObject {
    Q_OBJECT

public:
    enum class Role { Primary, Secondary, Unavailable };

    // folder: where the lock and socket live; the user's runtime folder when empty.
    explicit InstanceChannel(QString folder = {}, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // Takes the primary role, cleaning up after a primary that died, or finds the live one.
    Role claim();
    // As a secondary: delivers the links (none just asks the primary to come to the front); true once the
    // primary confirmed.
    bool forward(const QStringList &links, int timeoutMs = 3000);

    QString socketPath() const;

Q_SIGNALS:
    // As the primary: another process handed over these links.
    void linksReceived(const QStringList &links);

private:
    void serve(class QLocalSocket *socket);

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

} // namespace quillfern

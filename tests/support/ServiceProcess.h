#pragma once

#include "core/ServiceRecords.h"

#include <QProcess>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace quillfern::testing {

// The real quillfern-server, started for a test on a port of its own choosing on 127.0.0.1.
class ServiceProcess {
public:
    ServiceProcess(QString databaseURL, QStringList extraArguments = {});
    ~ServiceProcess();

    // Starts the process and waits (at most 15 s) until it answers; false with output() explaining. The first
    // start takes a free port; a start after stop() listens on the same one again.
    bool start();
    // start() in two halves, so that several services can start at once: launch() returns as soon as the
    // process runs, waitUntilServing() waits as start() does.
    bool launch();
    bool waitUntilServing();
    // SIGTERM, then wait for a clean exit.
    void stop();
    // SIGKILL: the process gets no chance to finish anything.
    void kill();

    QUrl baseURL() const;
    int port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QString output() const { return m_output; }

private:
    QString m_databaseURL;
    QStringList m_arguments;
    QProcess m_process;
    QString m_output;
    int m_port = 0;
};

// A development sign-in driven the way a browser would: start, the development form, the callback.
struct DevSignIn {
    QString verifier;
    QString code; // the one-time code the callback carried
};
std::optional<DevSignIn> devSignIn(const QUrl &service, const QString &name, const QString &email);
// POST /v1/auth/native/exchange; the status and the raw answer.
std::pair<int, QByteArray> exchangeCode(const QUrl &service, const QString &code, const QString &verifier);
// The whole flow, ending in an access token, or empty.
QString signInToken(const QUrl &service, const QString &name, const QString &email);

// A PKCE verifier of 43 URL-safe characters and its S256 challenge.
std::pair<QString, QString> makeVerifier();

} // namespace quillfern::testing

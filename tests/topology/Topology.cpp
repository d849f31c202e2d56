#include "tests/topology/Topology.h"

#include <httplib.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

#ifndef QUILLFERN_NGINX_SITE
#error "QUILLFERN_NGINX_SITE must name the shipped nginx site"
#endif

namespace quillfern::testing {
namespace {

// The addresses the shipped site sends requests to, in its order.
const QStringList shippedReplicas{QStringLiteral("127.0.0.1:8781"), QStringLiteral("127.0.0.1:8782"),
                                  QStringLiteral("127.0.0.1:8783")};

QString nginxProgram()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    return onPath.isEmpty()
               ? QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                                {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")})
               : onPath;
}

// Replaces the one occurrence of `from`; a site that no longer has exactly one is reported rather than run
// half-substituted.
bool replaceOnce(QString &text, const QString &from, const QString &to, QString &problem)
{
    if (text.count(from) != 1) {
        problem = QStringLiteral("the shipped nginx site should contain '%1' exactly once").arg(from);
        return false;
    }
    text.replace(from, to);
    return true;
}

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

Topology::Topology(QString databaseURL) : m_databaseURL(std::move(databaseURL))
{
    m_nginx.setProcessChannelMode(QProcess::MergedChannels);
    // Diagnostics: the configuration and nginx's logs stay behind for a look.
    if (qEnvironmentVariableIsSet("QUILLFERN_TEST_KEEP_TOPOLOGY")) {
        m_folder.setAutoRemove(false);
        qInfo("topology files in %s", qPrintable(m_folder.path()));
    }
    // nginx stops its workers on SIGTERM, so a test that crashes leaves no server behind.
    m_nginx.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    for (int index = 0; index < shippedReplicas.size(); ++index)
        m_replicas.push_back(std::make_unique<ServiceProcess>(
            m_databaseURL,
            QStringList{QStringLiteral("--quiet"), QStringLiteral("--rate-limit"), QStringLiteral("0")}));
}

Topology::~Topology()
{
    stopNginx();
    m_replicas.clear(); // each stops its process
}

bool Topology::start()
{
    if (!m_folder.isValid()) {
        m_problem = QStringLiteral("no temporary folder");
        return false;
    }
    // Together, as a deployment's replicas start after a reboot: on a new database they race to migrate it.
    for (auto &replica : m_replicas) {
        if (!replica->launch()) {
            m_problem = QStringLiteral("a replica did not start: ") + replica->output();
            return false;
        }
    }
    for (auto &replica : m_replicas) {
        if (!replica->waitUntilServing()) {
            m_problem = QStringLiteral("a replica did not come up: ") + replica->output();
            return false;
        }
    }
    return startNginx();
}

QUrl Topology::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QString Topology::nginxLog() const
{
    QFile log(m_folder.filePath(QStringLiteral("error.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

std::optional<QString> Topology::writeConfiguration(int port)
{
    QFile shipped(QStringLiteral(QUILLFERN_NGINX_SITE));
    if (!shipped.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read ") + shipped.fileName();
    QString site = QString::fromUtf8(shipped.readAll());

    static const QRegularExpression failTimeout(QStringLiteral("fail_timeout=(\\d+)s"));
    const auto timeout = failTimeout.match(site);
    if (!timeout.hasMatch())
        return QStringLiteral("the shipped nginx site gives its replicas no fail_timeout in seconds");
    m_failTimeout = std::chrono::seconds(timeout.captured(1).toInt());

    // Only addresses and paths change: every limit, timeout and retry rule is the shipped one.
    QString problem;
    const QString folder = QDir(m_folder.path()).absolutePath();
    if (!replaceOnce(site, QStringLiteral("listen 80 default_server;"),
                     QStringLiteral("listen 127.0.0.1:%1 default_server;").arg(port), problem) ||
        !replaceOnce(site, QStringLiteral("listen [::]:80 default_server;"), QString(), problem) ||
        !replaceOnce(site, QStringLiteral("/var/log/nginx/"), folder + QLatin1Char('/'), problem))
        return problem;
    for (int index = 0; index < shippedReplicas.size(); ++index) {
        if (!replaceOnce(site, QStringLiteral("server %1 ").arg(shippedReplicas[index]),
                         QStringLiteral("server 127.0.0.1:%1 ").arg(m_replicas[std::size_t(index)]->port()), problem))
            return problem;
    }

    QFile siteFile(m_folder.filePath(QStringLiteral("quillfern.conf")));
    QFile main(m_folder.filePath(QStringLiteral("nginx.conf")));
    // Workers of an nginx started as root would run as nobody, who cannot write the test's folder.
    const QString user = geteuid() == 0 ? QStringLiteral("user root;\n") : QString();
    QString mainText =
        QStringLiteral("daemon off;\nworker_processes 2;\npid %1/nginx.pid;\nerror_log %1/error.log warn;\n")
            .arg(folder) +
        user + QStringLiteral("events { worker_connections 1024; }\nhttp {\n");
    for (const char *temporary : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        mainText += QStringLiteral("    %1_temp_path %2/%1;\n").arg(QLatin1String(temporary), folder);
    mainText += QStringLiteral("    include %1/quillfern.conf;\n}\n").arg(folder);
    if (!siteFile.open(QIODevice::WriteOnly) || siteFile.write(site.toUtf8()) < 0 || !main.open(QIODevice::WriteOnly) ||
        main.write(mainText.toUtf8()) < 0)
        return QStringLiteral("cannot write the nginx configuration");
    return std::nullopt;
}

bool Topology::startNginx()
{
    if (nginxProgram().isEmpty()) {
        m_problem = QStringLiteral("nginx is not installed: scripts/setup installs it");
        return false;
    }
    // The port is free when probed; another program may take it before nginx does, so a few are tried.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int port = freePort();
        if (const auto problem = writeConfiguration(port)) {
            m_problem = *problem;
            return false;
        }
        const QString folder = m_folder.path();
        m_nginx.start(nginxProgram(),
                      {QStringLiteral("-p"), folder, QStringLiteral("-c"), folder + QStringLiteral("/nginx.conf"),
                       QStringLiteral("-e"), folder + QStringLiteral("/error.log")});
        if (!m_nginx.waitForStarted(5000)) {
            m_problem = QStringLiteral("nginx did not start: ") + m_nginx.errorString();
            return false;
        }
        httplib::Client client("127.0.0.1", port);
        client.set_connection_timeout(1);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000 && m_nginx.state() == QProcess::Running) {
            if (auto answer = client.Get("/healthz"); answer && answer->status == 200) {
                m_port = port;
                return true;
            }
            QThread::msleep(50);
        }
        stopNginx();
        if (!nginxLog().contains(QLatin1String("Address already in use")))
            break;
    }
    m_problem = QStringLiteral("nginx did not serve: ") + QString::fromUtf8(m_nginx.readAll()) + nginxLog();
    return false;
}

void Topology::stopNginx()
{
    if (m_nginx.state() == QProcess::NotRunning)
        return;
    m_nginx.terminate();
    if (!m_nginx.waitForFinished(5000)) {
        m_nginx.kill();
        m_nginx.waitForFinished(5000);
    }
}

} // namespace quillfern::testing

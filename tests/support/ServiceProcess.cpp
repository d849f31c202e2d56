#include "tests/support/ServiceProcess.h"

#include "api/WireCoding.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QUrlQuery>

#include <csignal>
#include <sys/prctl.h>

#ifndef QUILLFERN_SERVER_BINARY
#error "QUILLFERN_SERVER_BINARY must name the built service"
#endif

namespace quillfern::testing {

ServiceProcess::ServiceProcess(QString databaseURL, QStringList extraArguments)
    : m_databaseURL(std::move(databaseURL)), m_arguments(std::move(extraArguments))
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A test that crashes must not leave its service running.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

ServiceProcess::~ServiceProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        stop();
}

bool ServiceProcess::start()
{
    return launch() && waitUntilServing();
}

bool ServiceProcess::launch()
{
    m_output.clear();
    // Started again after a stop, the service comes back where its clients expect it.
    const QString listen = QStringLiteral("127.0.0.1:%1").arg(m_port);
    m_port = 0;
    // No test reaches the internet: without a quote source of the test's own, prices come from the demo table.
    QStringList arguments{QStringLiteral("--listen"), listen, QStringLiteral("--database"), m_databaseURL};
    if (!m_arguments.contains(QLatin1String("--quote-source-url")))
        arguments << QStringLiteral("--quote-source-url") << QStringLiteral("none") << QStringLiteral("--demo-quotes");
    if (!m_arguments.contains(QLatin1String("--ecb-rates-url")))
        arguments << QStringLiteral("--ecb-rates-url") << QStringLiteral("none");
    m_process.start(QStringLiteral(QUILLFERN_SERVER_BINARY), arguments + m_arguments);
    if (!m_process.waitForStarted(5000)) {
        m_output = m_process.errorString();
        return false;
    }
    return true;
}

bool ServiceProcess::waitUntilServing()
{
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 15000 && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(100);
        m_output += QString::fromUtf8(m_process.readAll());
        const auto match = listening.match(m_output);
        if (match.hasMatch()) {
            m_port = match.captured(1).toInt();
            break;
        }
    }
    if (!m_port) {
        m_output += QString::fromUtf8(m_process.readAll()); // what a process that exited said last
        return false;
    }
    httplib::Client client("127.0.0.1", m_port);
    client.set_connection_timeout(1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (auto answer = client.Get("/healthz"); answer && answer->status == 200)
            return true;
        QThread::msleep(50);
    }
    return false;
}

void ServiceProcess::stop()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_output += QString::fromUtf8(m_process.readAll());
}

void ServiceProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QUrl ServiceProcess::baseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

std::pair<QString, QString> makeVerifier()
{
    QList<quint32> words(8);
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray raw(reinterpret_cast<const char *>(words.constData()), 32);
    constexpr auto url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    const QString verifier = QString::fromLatin1(raw.toBase64(url));
    const QString challenge =
        QString::fromLatin1(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256).toBase64(url));
    return {verifier, challenge};
}

std::optional<DevSignIn> devSignIn(const QUrl &service, const QString &name, const QString &email)
{
    const auto [verifier, challenge] = makeVerifier();
    httplib::Client client("127.0.0.1", service.port());
    client.set_read_timeout(10);
    const std::string start = "/v1/auth/google/start?redirect_uri=quillfern%3A%2F%2Foauth%2Fcallback&code_challenge=" +
                              challenge.toStdString() + "&code_challenge_method=S256";
    const auto started = client.Get(start.c_str());
    if (!started || started->status != 302)
        return std::nullopt;
    const QUrl form(QString::fromStdString(started->get_header_value("Location")));
    const QString state = QUrlQuery(form).queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    if (state.isEmpty())
        return std::nullopt;

    const httplib::Params fields{
        {"state", state.toStdString()}, {"name", name.toStdString()}, {"email", email.toStdString()}};
    const auto submitted = client.Post("/v1/auth/dev", fields);
    if (!submitted || submitted->status != 302)
        return std::nullopt;
    const QUrl callback(QString::fromStdString(submitted->get_header_value("Location")));
    if (callback.scheme() != QLatin1String("quillfern"))
        return std::nullopt;
    const QString code = QUrlQuery(callback).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (code.isEmpty())
        return std::nullopt;
    return DevSignIn{verifier, code};
}

std::pair<int, QByteArray> exchangeCode(const QUrl &service, const QString &code, const QString &verifier)
{
    httplib::Client client("127.0.0.1", service.port());
    const auto body = encodeJSON(NativeExchangeRequest{code, verifier});
    const auto answer = client.Post("/v1/auth/native/exchange", body->toStdString(), "application/json");
    if (!answer)
        return {0, {}};
    return {answer->status, QByteArray::fromStdString(answer->body)};
}

QString signInToken(const QUrl &service, const QString &name, const QString &email)
{
    const auto signIn = devSignIn(service, name, email);
    if (!signIn)
        return {};
    const auto [status, body] = exchangeCode(service, signIn->code, signIn->verifier);
    const auto response = decodeJSON<NativeExchangeResponse>(body);
    return status == 200 && response ? response->accessToken : QString();
}

} // namespace quillfern::testing

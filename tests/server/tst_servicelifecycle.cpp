#include "api/WireCoding.h"
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using namespace quillfern;

namespace {

bool onPostgreSQL()
{
    return qgetenv("QUILLFERN_TEST_BACKEND") == "postgresql";
}

// scripts/postgres-cluster run as a program; its output lines, or nothing when it failed.
std::optional<QStringList> clusterScript(const QStringList &arguments)
{
    QProcess script;
    script.start(QStringLiteral(QUILLFERN_POSTGRES_CLUSTER), arguments);
    if (!script.waitForFinished(60000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
        qWarning("postgres-cluster %s: %s %s", qPrintable(arguments.join(u' ')), qPrintable(script.errorString()),
                 script.readAllStandardError().constData());
        return std::nullopt;
    }
    return QString::fromUtf8(script.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

QByteArray portfolioBody(double quantity)
{
    PortfolioPutRequest request{{}, {}, QStringLiteral("macos-app")};
    request.holdings.append(ServerHolding{std::nullopt, QStringLiteral("US"), QStringLiteral("Information Technology"),
                                          QStringLiteral("Application Software"), QStringLiteral("MSFT"),
                                          QStringLiteral("USD"), QStringLiteral("IBKR"), 300, quantity, 310, 1,
                                          QString()});
    return *encodeJSON(request);
}

httplib::Headers bearer(const QString &token)
{
    return {{"Authorization", "Bearer " + token.toStdString()}};
}

// The quantity of the one holding a GET answers, or -1.
double storedQuantity(httplib::Client &client, const QString &token)
{
    const auto answer = client.Get("/v1/portfolio", bearer(token));
    if (!answer || answer->status != 200)
        return -1;
    const auto portfolio = decodeJSON<PortfolioResponse>(QByteArray::fromStdString(answer->body));
    return portfolio && portfolio->holdings.size() == 1 ? portfolio->holdings.first().quantity : -1;
}

} // namespace

// The service's life around its requests: a stop while clients are connected, and a PostgreSQL restart
// under load. PostgreSQL runs on a cluster of this test's own, which it restarts.
class ServiceLifecycleTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void stopAnswersInFlightAndLeavesNoWaiting_data();
    void stopAnswersInFlightAndLeavesNoWaiting();
    void databaseRestartFailsNoLaterRequest();
    void aSecondServiceOnATakenAddressDoesNotStart();

private:
    QDateTime postmasterStarted();

    QTemporaryDir m_folder;
    QString m_clusterFolder;
    QString m_databaseURL;
};

void ServiceLifecycleTest::initTestCase()
{
    QVERIFY(m_folder.isValid());
    if (!onPostgreSQL()) {
        m_databaseURL = QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("service.sqlite3"));
        return;
    }
    // The suite's shared cluster tells that PostgreSQL is there; restarting it would fail other suites.
    if (qEnvironmentVariableIsEmpty("QUILLFERN_TEST_POSTGRES_URL"))
        QSKIP("QUILLFERN_TEST_POSTGRES_URL is not set");
    const auto started = clusterScript({QStringLiteral("start")});
    QVERIFY(started && started->size() == 2);
    m_clusterFolder = started->at(0);
    m_databaseURL = started->at(1);
}

void ServiceLifecycleTest::cleanupTestCase()
{
    QSqlDatabase::removeDatabase(QStringLiteral("probe"));
    if (!m_clusterFolder.isEmpty())
        clusterScript({QStringLiteral("stop"), m_clusterFolder});
}

void ServiceLifecycleTest::stopAnswersInFlightAndLeavesNoWaiting_data()
{
    QTest::addColumn<bool>("uploading");
    QTest::addColumn<int>("askingClients");
    QTest::newRow("idle keep-alive client") << false << 0;
    QTest::newRow("idle client and an upload half sent") << true << 0;
    // Some answer is being written as the stop comes; its connection, kept alive, is then as idle as any.
    QTest::newRow("keep-alive clients asking as the stop comes") << false << 6;
}

void ServiceLifecycleTest::stopAnswersInFlightAndLeavesNoWaiting()
{
    QFETCH(bool, uploading);
    QFETCH(int, askingClients);
    testing::ServiceProcess service(m_databaseURL, {QStringLiteral("--quiet")});
    QVERIFY2(service.start(), qPrintable(service.output()));
    const QString token =
        testing::signInToken(service.baseURL(), QStringLiteral("Stop"), QStringLiteral("stop@example.com"));
    QVERIFY(!token.isEmpty());

    // Between requests, on a connection the server keeps open for more.
    httplib::Client idle("127.0.0.1", service.port());
    idle.set_keep_alive(true);
    const auto first = idle.Get("/healthz");
    QVERIFY(first && first->status == 200);

    // A save whose body is still arriving when the stop begins.
    const std::string body = portfolioBody(7).toStdString();
    std::promise<void> halfSent;
    std::atomic<int> uploadStatus = 0;
    std::thread upload;
    if (uploading) {
        upload = std::thread([&] {
            httplib::Client client("127.0.0.1", service.port());
            client.set_read_timeout(10);
            const auto answer = client.Put(
                "/v1/portfolio", bearer(token), body.size(),
                [&](size_t offset, size_t, httplib::DataSink &sink) {
                    if (offset == 0) {
                        sink.write(body.data(), body.size() / 2);
                        halfSent.set_value();
                        std::this_thread::sleep_for(std::chrono::milliseconds(600));
                    } else {
                        sink.write(body.data() + offset, body.size() - offset);
                    }
                    return true;
                },
                "application/json");
            uploadStatus = answer ? answer->status : -1;
        });
        QVERIFY(halfSent.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the service has read the headers
    }

    std::atomic<int> answered = 0;
    std::vector<std::thread> asking;
    for (int i = 0; i < askingClients; ++i)
        asking.emplace_back([&] {
            httplib::Client client("127.0.0.1", service.port());
            client.set_keep_alive(true);
            client.set_read_timeout(5);
            // Until the service has gone; a client whose connection closed would otherwise open another.
            while (const auto answer = client.Get("/healthz")) {
                if (answer->status != 200)
                    break;
                ++answered;
            }
        });
    for (int wait = 0; wait < 500 && answered < 50 * askingClients; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    QElapsedTimer stopping;
    stopping.start();
    service.stop();
    const qint64 took = stopping.elapsed();
    if (upload.joinable())
        upload.join();
    for (std::thread &client : asking)
        client.join();
    QVERIFY2(took < 2000, qPrintable(QStringLiteral("stopping took %1 ms").arg(took)));
    QVERIFY2(service.output().contains(QLatin1String("quillfern-server stopped")), qPrintable(service.output()));
    if (uploading)
        QCOMPARE(uploadStatus.load(), 200);
}

QDateTime ServiceLifecycleTest::postmasterStarted()
{
    const QUrl url(m_databaseURL);
    QSqlDatabase probe = QSqlDatabase::contains(QStringLiteral("probe"))
                             ? QSqlDatabase::database(QStringLiteral("probe"), false)
                             : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("probe"));
    probe.setHostName(url.host());
    probe.setPort(url.port());
    probe.setUserName(url.userName());
    probe.setDatabaseName(url.path().mid(1));
    QDateTime started;
    if (probe.open()) {
        QSqlQuery query(probe);
        if (query.exec(QStringLiteral("SELECT pg_postmaster_start_time()")) && query.next())
            started = query.value(0).toDateTime();
    }
    probe.close();
    return started;
}

void ServiceLifecycleTest::databaseRestartFailsNoLaterRequest()
{
    if (!onPostgreSQL())
        QSKIP("a restart of the database server is a PostgreSQL matter");
    testing::ServiceProcess service(m_databaseURL,
                                    {QStringLiteral("--quiet"), QStringLiteral("--rate-limit"), QStringLiteral("0")});
    QVERIFY2(service.start(), qPrintable(service.output()));

    // Each client keeps a keep-alive connection of its own, so four of the service's threads each hold a
    // database connection with statements prepared on it when the database goes away.
    constexpr int clientCount = 4;
    QStringList tokens;
    for (int i = 0; i < clientCount; ++i) {
        tokens.append(testing::signInToken(service.baseURL(), QStringLiteral("Restart"),
                                           QStringLiteral("restart%1@example.com").arg(i)));
        QVERIFY(!tokens.last().isEmpty());
    }

    const QDateTime before = postmasterStarted();
    QVERIFY(before.isValid());

    struct Tally {
        int afterRestart = 0;
        int failedAfterRestart = 0;
        int firstFailure = 0;
        double lastSaved = -1;
    };
    std::vector<Tally> tallies(clientCount);
    std::atomic<bool> restarted = false;
    std::atomic<bool> finished = false;
    std::vector<std::thread> clients;
    for (int i = 0; i < clientCount; ++i) {
        clients.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", service.port());
            client.set_keep_alive(true);
            client.set_read_timeout(10);
            Tally &tally = tallies[std::size_t(i)];
            for (int round = 1; !finished && round < 100000; ++round) {
                const bool after = restarted;
                const bool saving = round % 2 == 0;
                const auto answer = saving ? client.Put("/v1/portfolio", bearer(tokens[i]),
                                                        portfolioBody(round).toStdString(), "application/json")
                                           : client.Get("/v1/portfolio", bearer(tokens[i]));
                const int status = answer ? answer->status : -1;
                if (saving && status == 200)
                    tally.lastSaved = round;
                if (!after)
                    continue;
                ++tally.afterRestart;
                if (status != 200 && tally.failedAfterRestart++ == 0)
                    tally.firstFailure = status;
            }
        });
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool restartWorked = clusterScript({QStringLiteral("restart"), m_clusterFolder}).has_value();
    restarted = true;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    finished = true;
    for (std::thread &client : clients)
        client.join();
    QVERIFY(restartWorked);
    QVERIFY(postmasterStarted() > before);

    httplib::Client reader("127.0.0.1", service.port());
    for (int i = 0; i < clientCount; ++i) {
        const Tally &tally = tallies[std::size_t(i)];
        QVERIFY2(
            tally.afterRestart >= 4,
            qPrintable(QStringLiteral("client %1 sent %2 requests after the restart").arg(i).arg(tally.afterRestart)));
        QVERIFY2(tally.failedAfterRestart == 0,
                 qPrintable(QStringLiteral("client %1: %2 of %3 requests after the restart failed, the first with %4")
                                .arg(i)
                                .arg(tally.failedAfterRestart)
                                .arg(tally.afterRestart)
                                .arg(tally.firstFailure)));
        QCOMPARE(storedQuantity(reader, tokens[i]), tally.lastSaved);
    }
}

void ServiceLifecycleTest::aSecondServiceOnATakenAddressDoesNotStart()
{
    testing::ServiceProcess first(m_databaseURL, {QStringLiteral("--quiet")});
    QVERIFY2(first.start(), qPrintable(first.output()));

    // On a database of its own, so nothing but the address is shared.
    QProcess second;
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(QStringLiteral(QUILLFERN_SERVER_BINARY),
                 {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(first.port()),
                  QStringLiteral("--database"),
                  QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("second.sqlite3")),
                  QStringLiteral("--quiet")});
    const bool ended = second.waitForFinished(15000);
    if (!ended)
        second.kill();
    QVERIFY(ended);
    QVERIFY(second.exitCode() != 0);
    QVERIFY2(second.readAll().contains("already in use"), "the refusal names the cause");

    httplib::Client client("127.0.0.1", first.port());
    for (int i = 0; i < 8; ++i) {
        const auto answer = client.Get("/healthz");
        QVERIFY(answer && answer->status == 200);
    }
}

QTEST_GUILESS_MAIN(ServiceLifecycleTest)
#include "tst_servicelifecycle.moc"

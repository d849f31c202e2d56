#include "tests/support/ServiceProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace quillfern;

namespace {

struct RawAnswer {
    int status = 0;
    std::string head;
    std::string body;
};

// A client on a bare socket, for requests no HTTP library would send: trickled, malformed, or never finished.
// It can connect from any 127.x.y.z address, which Linux routes over loopback, so that limits per client
// address can be exercised from one process.
class RawClient {
public:
    RawClient() = default;
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;
    ~RawClient()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    bool open(int port, const char *from = "127.0.0.1")
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        inet_pton(AF_INET, from, &source.sin_addr);
        sockaddr_in service{};
        service.sin_family = AF_INET;
        service.sin_port = htons(quint16(port));
        inet_pton(AF_INET, "127.0.0.1", &service.sin_addr);
        return m_socket >= 0 && ::bind(m_socket, reinterpret_cast<sockaddr *>(&source), sizeof source) == 0 &&
               ::connect(m_socket, reinterpret_cast<sockaddr *>(&service), sizeof service) == 0;
    }

    // False once the service has closed the connection.
    bool send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            bytes.remove_prefix(std::size_t(sent));
        }
        return true;
    }

    // One answer, read within the time limit; none when the connection closed or the time ran out first.
    std::optional<RawAnswer> answer(int limitMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (true) {
            const std::size_t headEnd = m_received.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                RawAnswer answer;
                answer.head = m_received.substr(0, headEnd);
                answer.status = std::atoi(answer.head.c_str() + answer.head.find(' ') + 1);
                const std::size_t length = answer.head.find("Content-Length: ");
                const std::size_t bodySize = length == std::string::npos ? 0 : std::stoul(answer.head.substr(length + 16));
                if (m_received.size() >= headEnd + 4 + bodySize) {
                    answer.body = m_received.substr(headEnd + 4, bodySize);
                    m_received.erase(0, headEnd + 4 + bodySize);
                    return answer;
                }
            }
            if (!receive(int(limitMs - clock.elapsed())))
                return std::nullopt;
        }
    }

    // Whether the service ends the connection within the time limit, after whatever it still sends.
    bool closedWithin(int limitMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (receive(int(limitMs - clock.elapsed()))) {
        }
        return m_closed;
    }

    const std::string &received() const { return m_received; }

private:
    bool receive(int limitMs)
    {
        if (m_closed || limitMs <= 0)
            return false;
        pollfd ready{m_socket, POLLIN, 0};
        if (::poll(&ready, 1, limitMs) <= 0)
            return false;
        char chunk[16384];
        const ssize_t read = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (read <= 0) {
            m_closed = true;
            return false;
        }
        m_received.append(chunk, std::size_t(read));
        return true;
    }

    int m_socket = -1;
    std::string m_received;
    bool m_closed = false;
};

std::string portfolioRequest(const QString &token)
{
    return "GET /v1/portfolio HTTP/1.1\r\nHost: service\r\nAuthorization: Bearer " + token.toStdString() + "\r\n\r\n";
}

// Asks for the health check on the client's connection; the answer, if one came within 3 s.
std::optional<RawAnswer> healthz(RawClient &client)
{
    return client.send("GET /healthz HTTP/1.1\r\nHost: s\r\n\r\n") ? client.answer(3000) : std::nullopt;
}

// A gzip stream of many members, which inflates to `members` MiB of spaces and then "{}": small on the wire,
// large once inflated, as a body meant to exhaust memory is.
std::string compressedBomb(int members)
{
    const auto deflated = [](const std::string &text) {
        z_stream stream{};
        deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&stream, uLong(text.size())), '\0');
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
        stream.avail_in = uInt(text.size());
        stream.next_out = reinterpret_cast<Bytef *>(out.data());
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        return out;
    };
    const std::string spaces = deflated(std::string(1 << 20, ' '));
    std::string bomb;
    for (int i = 0; i < members; ++i)
        bomb += spaces;
    return bomb + deflated("{}");
}

// The most memory the process has held, in kB.
qint64 peakMemoryKB(qint64 processId)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(processId));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

} // namespace

// The service's connections on an open network: clients that connect and say nothing, trickle their
// requests, send more than any request needs, or send what only a lenient reader would take.
class ServiceConnectionsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void idleAndSlowClientsStarveNoOne();
    void requestsAreTakenAsSent_data();
    void requestsAreTakenAsSent();
    void aBodyIsWhatItsHeadersSay();
    void connectionsBeyondTheCapsAreTurnedAway();

private:
    QTemporaryDir m_folder;
    QString m_databaseURL;
    std::unique_ptr<testing::ServiceProcess> m_service;
    QString m_token;
};

void ServiceConnectionsTest::initTestCase()
{
    // A thousand connections take more descriptors than some shells allow by default.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < 2500)
        QSKIP("this test needs 2,500 file descriptors");

    QVERIFY(m_folder.isValid());
    if (qgetenv("QUILLFERN_TEST_BACKEND") == "postgresql") {
        m_databaseURL = qEnvironmentVariable("QUILLFERN_TEST_POSTGRES_URL");
        if (m_databaseURL.isEmpty())
            QSKIP("QUILLFERN_TEST_POSTGRES_URL is not set");
    } else {
        m_databaseURL = QStringLiteral("sqlite:") + m_folder.filePath(QStringLiteral("service.sqlite3"));
    }
    m_service = std::make_unique<testing::ServiceProcess>(m_databaseURL, QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
    m_token = testing::signInToken(m_service->baseURL(), QStringLiteral("Connie"), QStringLiteral("connie@example.com"));
    QVERIFY(!m_token.isEmpty());
}

void ServiceConnectionsTest::idleAndSlowClientsStarveNoOne()
{
    const int port = m_service->port();
    // A thousand connections that never send a byte, from ten addresses so that no address reaches its cap.
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(std::make_unique<RawClient>());
        QVERIFY(idle.back()->open(port, qPrintable(QStringLiteral("127.0.0.%1").arg(2 + i / 100))));
    }
    // A hundred that send a byte a second: half in the header, half in a body they announced.
    std::vector<std::unique_ptr<RawClient>> slow;
    std::vector<std::string> pending;
    const std::string header = portfolioRequest(m_token);
    const std::string body = "PUT /v1/portfolio HTTP/1.1\r\nHost: s\r\nAuthorization: Bearer " + m_token.toStdString() +
                             "\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n" + std::string(100, ' ');
    for (int i = 0; i < 100; ++i) {
        slow.push_back(std::make_unique<RawClient>());
        QVERIFY(slow.back()->open(port, "127.0.0.20"));
        const std::string &request = i % 2 ? body : header;
        const std::size_t start = i % 2 ? body.size() - 100 : 0; // bodies: the header goes at once
        QVERIFY(slow.back()->send(std::string_view(request).substr(0, start + 1)));
        pending.push_back(request.substr(start + 1));
    }

    QElapsedTimer clock;
    clock.start();
    qint64 slowest = 0;
    for (int second = 0; second < 12; ++second) {
        if (second < 3) {
            RawClient reader;
            QElapsedTimer took;
            took.start();
            QVERIFY(reader.open(port));
            QVERIFY(reader.send(portfolioRequest(m_token)));
            const auto answer = reader.answer(3000);
            // Idle connections are let go after 5 s: an answer sooner than that owes nothing to a timeout.
            QVERIFY2(answer && answer->status == 200, answer ? answer->head.c_str() : "no answer within 3 s");
            slowest = std::max(slowest, took.elapsed());
        }
        for (std::size_t i = 0; i < slow.size(); ++i)
            if (!pending[i].empty() && slow[i]->send(std::string_view(pending[i]).substr(0, 1)))
                pending[i].erase(0, 1);
        QTest::qWait(int(std::max<qint64>(0, (second + 1) * 1000 - clock.elapsed())));
    }
    qInfo("slowest of three reads among 1,100 idle and slow connections: %lld ms", slowest);

    // Twelve seconds in, every slow request has passed its deadline and been refused; the idle ones are gone.
    for (const auto &client : slow) {
        QVERIFY(client->closedWithin(2000));
        QVERIFY2(client->received().starts_with("HTTP/1.1 408"), client->received().c_str());
    }
    for (const auto &client : idle)
        QVERIFY(client->closedWithin(100));
}

void ServiceConnectionsTest::requestsAreTakenAsSent_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    const QByteArray token = m_token.toLatin1();
    const QByteArray get = "GET /v1/portfolio HTTP/1.1\r\nHost: s\r\n";
    QTest::newRow("the token as sent") << get + "Authorization: Bearer " + token + "\r\n\r\n" << 200;
    QByteArray escaped;
    for (const char c : token)
        escaped += '%' + QByteArray(1, c).toHex();
    QTest::newRow("token fully escaped") << get + "Authorization: Bearer " + escaped + "\r\n\r\n" << 401;
    QTest::newRow("two spaces") << get + "Authorization: Bearer  " + token + "\r\n\r\n" << 401;
    QTest::newRow("token sent twice") << get + "Authorization: Bearer " + token + "\r\nAuthorization: Bearer " + token + "\r\n\r\n" << 401;

    QByteArray crowded = get;
    for (int i = 0; i < 100000; ++i)
        crowded += "X-Filler-" + QByteArray::number(i) + ": v\r\n";
    QTest::newRow("100,000 headers") << crowded + "\r\n" << 431;
    QTest::newRow("announced body too large") << get + "Content-Length: 3000000\r\n\r\n" << 413;
    const QByteArray mebibyteChunk = "100000\r\n" + QByteArray(0x100000, ' ') + "\r\n";
    QTest::newRow("chunked body too large")
        << "PUT /v1/portfolio HTTP/1.1\r\nHost: s\r\nTransfer-Encoding: chunked\r\n\r\n" +
               mebibyteChunk.repeated(3) + "0\r\n\r\n"
        << 413;
}

void ServiceConnectionsTest::requestsAreTakenAsSent()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    RawClient client;
    QVERIFY(client.open(m_service->port()));
    client.send(std::string_view(request.constData(), std::size_t(request.size()))); // may be cut off by a refusal
    const auto answer = client.answer(5000);
    QVERIFY(answer);
    QCOMPARE(answer->status, status);
    if (status >= 400)
        QVERIFY2(answer->body.starts_with("{\"error\":\""), answer->body.c_str());
}

void ServiceConnectionsTest::aBodyIsWhatItsHeadersSay()
{
    // A POST with no length has an empty body (RFC 9112 §6.3): the logout is answered at once and holds.
    const QString token = testing::signInToken(m_service->baseURL(), QStringLiteral("Lou"), QStringLiteral("lou@example.com"));
    RawClient logout;
    QVERIFY(logout.open(m_service->port()));
    QVERIFY(logout.send("POST /v1/auth/logout HTTP/1.1\r\nHost: s\r\nAuthorization: Bearer " + token.toStdString() +
                        "\r\n\r\n" + portfolioRequest(token)));
    const auto loggedOut = logout.answer(3000);
    QVERIFY(loggedOut);
    QCOMPARE(loggedOut->status, 204);
    const auto afterwards = logout.answer(3000);
    QVERIFY(afterwards);
    QCOMPARE(afterwards->status, 401);

    // 600 MiB once inflated, some 600 kB as sent, before anyone has signed in.
    const std::string bomb = compressedBomb(600);
    const qint64 peakBefore = peakMemoryKB(m_service->processId());
    RawClient client;
    QVERIFY(client.open(m_service->port()));
    client.send("POST /v1/auth/native/exchange HTTP/1.1\r\nHost: s\r\nContent-Type: application/json\r\n"
                "Content-Encoding: gzip\r\nContent-Length: " +
                std::to_string(bomb.size()) + "\r\n\r\n" + bomb);
    const auto answer = client.answer(5000);
    QVERIFY(answer);
    QCOMPARE(answer->status, 415);
    QVERIFY(client.closedWithin(3000));
    const qint64 grown = peakMemoryKB(m_service->processId()) - peakBefore;
    QVERIFY2(grown < 32 * 1024, qPrintable(QStringLiteral("the service grew by %1 kB").arg(grown)));
}

void ServiceConnectionsTest::connectionsBeyondTheCapsAreTurnedAway()
{
    testing::ServiceProcess capped(m_databaseURL, {QStringLiteral("--quiet"), QStringLiteral("--max-connections"),
                                                   QStringLiteral("6"), QStringLiteral("--max-connections-per-address"),
                                                   QStringLiteral("4")});
    QVERIFY2(capped.start(), qPrintable(capped.output()));
    // The start-up check's own connection may still be closing.
    QTest::qWait(200);

    struct Attempt {
        const char *from;
        bool admitted;
    };
    const Attempt attempts[] = {{"127.0.0.2", true},  {"127.0.0.2", true}, {"127.0.0.2", true}, {"127.0.0.2", true},
                                {"127.0.0.2", false}, {"127.0.0.3", true}, {"127.0.0.3", true}, {"127.0.0.4", false}};
    std::vector<std::unique_ptr<RawClient>> open;
    for (const Attempt &attempt : attempts) {
        open.push_back(std::make_unique<RawClient>());
        QVERIFY(open.back()->open(capped.port(), attempt.from));
        // One turned away is told so at once, without asking anything.
        const auto answer = attempt.admitted ? healthz(*open.back()) : open.back()->answer(3000);
        QVERIFY(answer);
        QCOMPARE(answer->status, attempt.admitted ? 200 : 503);
        if (!attempt.admitted) {
            QVERIFY(answer->head.find("\r\nRetry-After: ") != std::string::npos);
            QVERIFY(open.back()->closedWithin(3000));
        }
    }
    // A place freed is a place to take.
    open.front().reset();
    QTest::qWait(100);
    RawClient late;
    QVERIFY(late.open(capped.port(), "127.0.0.4"));
    const auto answer = healthz(late);
    QVERIFY(answer);
    QCOMPARE(answer->status, 200);
}

QTEST_GUILESS_MAIN(ServiceConnectionsTest)
#include "tst_serviceconnections.moc"

#include "tests/server/ServiceFixture.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <atomic>
#include <latch>
#include <thread>

using namespace quillfern;
using namespace quillfern::servicetest;

namespace {

using Edit = void (*)(PortfolioPutRequest &);

PortfolioPutRequest basePortfolio()
{
    return PortfolioPutRequest{{holding(QStringLiteral("H-1"), QStringLiteral("0005")),
                                holding(QStringLiteral("H-2"), QStringLiteral("0700")),
                                holding(QStringLiteral("H-3"), QStringLiteral("1299"))},
                               {ServerCashBalance{QStringLiteral("C-1"), QStringLiteral("IBKR"), 1500.25,
                                                  QStringLiteral("USD"), 1.0, QStringLiteral("cash note")}},
                               QStringLiteral("macos-app")};
}

PortfolioResponse answerFor(const PortfolioPutRequest &request)
{
    return PortfolioResponse{request.holdings, request.cashBalances};
}

std::optional<PortfolioResponse> portfolioIn(const Raw &answer)
{
    const auto decoded = decodeJSON<PortfolioResponse>(QByteArray::fromStdString(answer.body));
    return decoded ? std::optional(*decoded) : std::nullopt;
}

const QRegularExpression strongTag(QStringLiteral("^\"[\\x21\\x23-\\x7e]+\"$"));

} // namespace

Q_DECLARE_METATYPE(Edit)

// Saves write only what changed and share commits with saves made at the same moment; these check, through a
// restarted service (so nothing is answered from memory), that what was answered is what was stored.
class ServiceSavesTest : public ServiceFixture {
    Q_OBJECT

private Q_SLOTS:
    void everyChangeIsStored_data();
    void everyChangeIsStored();
    void saveAfterATradeIsStored();
    void savesApplyOnlyOverTheVersionTheyName_data();
    void savesApplyOnlyOverTheVersionTheyName();
    void oneOfConcurrentSavesOverOneVersionApplies();
    void concurrentSavesAreKeptApartAndDurable();
    void steadySavesKeepTheWriteAheadLogSmall();

private:
    Raw put(const QString &token, const PortfolioPutRequest &request, httplib::Headers headers = {})
    {
        return raw(m_service->baseURL(), "PUT", "/v1/portfolio", token, encodeJSON(request)->toStdString(),
                   std::move(headers));
    }
    Raw get(const QString &token) { return raw(m_service->baseURL(), "GET", "/v1/portfolio", token); }
    PortfolioResponse save(const QString &token, const PortfolioPutRequest &request)
    {
        const auto saved = QCoro::waitFor(PortfolioAPI::send<PortfolioResponse>(
            endpoint(), QStringLiteral("/v1/portfolio"), "PUT", token, std::optional(request)));
        if (!saved)
            qWarning("save refused: %s", qPrintable(saved.error().description()));
        return saved ? *saved : PortfolioResponse{};
    }
    std::optional<PortfolioResponse> stored(const QString &token)
    {
        m_network = std::make_unique<QNetworkAccessManager>(); // no idle connection holds up the stop
        m_service.reset();
        if (!startService())
            return std::nullopt;
        return load(token);
    }
    std::optional<PortfolioResponse> load(const QString &token)
    {
        const auto loaded = QCoro::waitFor(
            PortfolioAPI::send<PortfolioResponse>(endpoint(), QStringLiteral("/v1/portfolio"), "GET", token));
        return loaded ? std::optional(*loaded) : std::nullopt;
    }
};

void ServiceSavesTest::everyChangeIsStored_data()
{
    QTest::addColumn<Edit>("edit");
    const auto add = [](const char *name, Edit edit) { QTest::newRow(name) << edit; };
    add("market", [](PortfolioPutRequest &p) { p.holdings[1].market = QStringLiteral("US"); });
    add("sector", [](PortfolioPutRequest &p) { p.holdings[1].sector = QStringLiteral("Energy"); });
    add("sub-sector", [](PortfolioPutRequest &p) { p.holdings[1].subSector = QStringLiteral("Oil"); });
    add("code", [](PortfolioPutRequest &p) { p.holdings[1].code = QStringLiteral("0001"); });
    add("currency", [](PortfolioPutRequest &p) { p.holdings[1].currency = QStringLiteral("HKD"); });
    add("broker", [](PortfolioPutRequest &p) { p.holdings[1].broker = QStringLiteral("IBKR"); });
    add("average price", [](PortfolioPutRequest &p) { p.holdings[1].averagePrice = 50.25; });
    add("quantity", [](PortfolioPutRequest &p) { p.holdings[1].quantity = 11; });
    add("price by its last digit", [](PortfolioPutRequest &p) { p.holdings[1].currentPrice += 1e-12; });
    add("rate", [](PortfolioPutRequest &p) { p.holdings[1].fxToUsd = 9.5; });
    add("note", [](PortfolioPutRequest &p) { p.holdings[1].note = QStringLiteral("\u5099\u8003"); });
    add("text moved to the next field", [](PortfolioPutRequest &p) {
        p.holdings[1].sector += p.holdings[1].subSector;
        p.holdings[1].subSector.clear();
    });
    add("order", [](PortfolioPutRequest &p) { p.holdings.swapItemsAt(0, 2); });
    add("holding removed", [](PortfolioPutRequest &p) { p.holdings.removeAt(1); });
    add("holding added",
        [](PortfolioPutRequest &p) { p.holdings.insert(1, holding(QStringLiteral("H-new"), QStringLiteral("0388"))); });
    add("cash broker", [](PortfolioPutRequest &p) { p.cashBalances[0].broker = QStringLiteral("Futu"); });
    add("cash amount", [](PortfolioPutRequest &p) { p.cashBalances[0].originalCash = 0; });
    add("cash currency", [](PortfolioPutRequest &p) { p.cashBalances[0].currency = QStringLiteral("HKD"); });
    add("cash rate", [](PortfolioPutRequest &p) { p.cashBalances[0].fxToUsd = 0.128; });
    add("cash note", [](PortfolioPutRequest &p) { p.cashBalances[0].note.clear(); });
    add("every cash balance removed", [](PortfolioPutRequest &p) { p.cashBalances.clear(); });
}

void ServiceSavesTest::everyChangeIsStored()
{
    QFETCH(Edit, edit);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const PortfolioPutRequest base = basePortfolio();
    PortfolioPutRequest edited = base;
    edit(edited);

    QCOMPARE(save(token, base), answerFor(base));
    QCOMPARE(save(token, edited), answerFor(edited));
    QCOMPARE(stored(token), std::optional(answerFor(edited)));
    // And back again: the stored rows are compared with what they now hold, not with the first save.
    QCOMPARE(save(token, base), answerFor(base));
    QCOMPARE(stored(token), std::optional(answerFor(base)));
}

void ServiceSavesTest::saveAfterATradeIsStored()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    PortfolioPutRequest base = basePortfolio();
    // The holding the trade below moves: the same broker, market and code.
    base.holdings[0].broker = QStringLiteral("IBKR");
    base.holdings[0].market = QStringLiteral("US");
    base.holdings[0].code = QStringLiteral("AAPL");
    base.holdings[0].currency = QStringLiteral("USD");
    QCOMPARE(save(token, base), answerFor(base));
    QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), token, trade(QStringLiteral("BUY"), 5, 130))));
    QCOMPARE(stored(token)->holdings[0].quantity, 15.0);

    // The app undoes the trade's effect by saving the holding as it was before it.
    QCOMPARE(save(token, base), answerFor(base));
    QCOMPARE(stored(token), std::optional(answerFor(base)));
}

void ServiceSavesTest::savesApplyOnlyOverTheVersionTheyName_data()
{
    QTest::addColumn<QString>("elsewhere"); // what changes the portfolio after it was loaded
    QTest::addColumn<QString>("ifMatch");   // %1: the loaded tag, %2: the version inside it; null: no header
    QTest::addColumn<bool>("clashingIDs");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("mentions");

    const auto add = [](const char *name, const char *elsewhere, const char *ifMatch, int status,
                        const char *mentions = "changed elsewhere", bool clashingIDs = false) {
        QTest::newRow(name) << QString::fromLatin1(elsewhere) << (ifMatch ? QString::fromLatin1(ifMatch) : QString())
                            << clashingIDs << status << QString::fromLatin1(status == 200 ? "" : mentions);
    };
    add("no tag", "", nullptr, 200);
    add("no tag over another save", "save", nullptr, 200);
    add("loaded tag", "", "%1", 200);
    add("loaded tag after another save", "save", "%1", 412);
    add("loaded tag after a trade", "trade", "%1", 412);
    // A brokerage of the user's own is no change to the portfolio.
    add("loaded tag after a new brokerage", "brokerage", "%1", 200);
    add("any version", "save", "*", 200);
    add("list holding the loaded tag", "", "\"x\" ,W/\"y\",, %1", 200);
    add("list after another save", "save", "\"x\", %1", 412);
    add("weak loaded tag", "", "W/%1", 412);
    add("bare version", "", "%2", 412);
    add("version with a leading zero", "", "\"0%2\"", 412);
    add("star in a list", "", "*, %1", 412);
    add("list cut short", "", "%1, \"x", 412);
    add("not a tag", "", "garbage", 412);
    add("clashing ids over the loaded tag", "", "%1", 400, "share the id", true);
}

void ServiceSavesTest::savesApplyOnlyOverTheVersionTheyName()
{
    QFETCH(QString, elsewhere);
    QFETCH(QString, ifMatch);
    QFETCH(bool, clashingIDs);
    QFETCH(int, status);
    QFETCH(QString, mentions);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const Raw first = put(token, basePortfolio());
    QCOMPARE(first.status, 200);
    const std::string loaded = header(get(token), "ETag");
    QVERIFY2(strongTag.match(QString::fromStdString(loaded)).hasMatch(), loaded.c_str());
    QCOMPARE(loaded, header(first, "ETag"));

    if (elsewhere == QLatin1String("save")) {
        PortfolioPutRequest other = basePortfolio();
        other.holdings.removeLast();
        QCOMPARE(put(token, other).status, 200);
    } else if (elsewhere == QLatin1String("trade")) {
        QCOMPARE(raw(m_service->baseURL(), "POST", "/v1/transactions", token,
                     encodeJSON(trade(QStringLiteral("BUY"), 5, 100))->toStdString())
                     .status,
                 201);
    } else if (elsewhere == QLatin1String("brokerage")) {
        QCOMPARE(raw(m_service->baseURL(), "POST", "/v1/brokerages", token, R"({"name":"Own Broker"})").status, 200);
    }
    const Raw before = get(token);
    QCOMPARE(header(before, "ETag") == loaded, elsewhere.isEmpty() || elsewhere == QLatin1String("brokerage"));

    PortfolioPutRequest edited = basePortfolio();
    edited.holdings[0].quantity = 99;
    if (clashingIDs)
        edited.holdings[1].id = edited.holdings[0].id;
    httplib::Headers headers;
    if (!ifMatch.isNull()) {
        const QString tag = QString::fromStdString(loaded);
        const QString value = QString(ifMatch)
                                  .replace(QStringLiteral("%1"), tag)
                                  .replace(QStringLiteral("%2"), tag.mid(1, tag.size() - 2));
        headers.emplace("If-Match", value.toStdString());
    }
    const Raw answer = put(token, edited, headers);
    QCOMPARE(answer.status, status);
    const Raw after = get(token);
    if (status == 200) {
        QCOMPARE(portfolioIn(after), std::optional(answerFor(edited)));
        QVERIFY(header(answer, "ETag") != header(before, "ETag"));
        QCOMPARE(header(after, "ETag"), header(answer, "ETag"));
    } else {
        QVERIFY2(errorText(answer).contains(mentions), answer.body.c_str());
        QVERIFY(!answer.headers.count("ETag"));
        QCOMPARE(portfolioIn(after), portfolioIn(before));
        QCOMPARE(header(after, "ETag"), header(before, "ETag"));
    }
}

void ServiceSavesTest::oneOfConcurrentSavesOverOneVersionApplies()
{
    // Saves over one tag race, while saves of another user share their commits; in each round one applies.
    constexpr size_t racers = 4;
    constexpr size_t bystanders = 2;
    const QString ann = signIn(QStringLiteral("ann@example.com"));
    const QString bob = signIn(QStringLiteral("bob@example.com"));
    QCOMPARE(put(ann, basePortfolio()).status, 200);
    std::string tag = header(get(ann), "ETag");
    const QUrl service = m_service->baseURL();
    for (int round = 0; round < 3; ++round) {
        std::vector<PortfolioPutRequest> requests;
        std::vector<std::string> bodies;
        for (size_t w = 0; w < racers + bystanders; ++w) {
            requests.push_back(basePortfolio());
            requests.back().holdings[0].quantity = round * 100 + int(w);
            bodies.push_back(encodeJSON(requests.back())->toStdString());
        }
        std::vector<Raw> answers(bodies.size());
        std::latch start(std::ptrdiff_t(bodies.size()));
        std::vector<std::thread> writers;
        for (size_t w = 0; w < bodies.size(); ++w) {
            writers.emplace_back([&, w] {
                const bool racer = w < racers;
                start.arrive_and_wait();
                answers[w] = raw(service, "PUT", "/v1/portfolio", racer ? ann : bob, bodies[w],
                                 racer ? httplib::Headers{{"If-Match", tag}} : httplib::Headers{});
            });
        }
        for (std::thread &writer : writers)
            writer.join();

        std::optional<size_t> winner;
        for (size_t w = 0; w < bodies.size(); ++w) {
            if (w >= racers) {
                QCOMPARE(answers[w].status, 200);
                continue;
            }
            QVERIFY2(answers[w].status == 200 || answers[w].status == 412, answers[w].body.c_str());
            if (answers[w].status == 200) {
                QVERIFY2(!winner, "two saves over one version both applied");
                winner = w;
            }
        }
        QVERIFY(winner);
        const Raw stored = get(ann);
        QCOMPARE(portfolioIn(stored), std::optional(answerFor(requests[*winner])));
        QCOMPARE(header(stored, "ETag"), header(answers[*winner], "ETag"));
        tag = header(stored, "ETag");
    }
}

void ServiceSavesTest::concurrentSavesAreKeptApartAndDurable()
{
    constexpr int users = 6;
    constexpr int savesEach = 4;
    QStringList tokens;
    for (int u = 0; u < users; ++u)
        tokens.append(signIn(QStringLiteral("user%1@example.com").arg(u)));
    const auto portfolio = [](int user, int writer, int round) {
        PortfolioPutRequest request{{}, {}, QStringLiteral("macos-app")};
        for (int i = 0; i < 30; ++i) {
            ServerHolding h = holding(QStringLiteral("H-%1").arg(i), QStringLiteral("U%1W%2").arg(user).arg(writer));
            h.currentPrice = round * 100 + i;
            request.holdings.append(h);
        }
        request.cashBalances.append(ServerCashBalance{QStringLiteral("C-%1").arg(writer), QStringLiteral("IBKR"),
                                                      double(round), QStringLiteral("USD"), 1.0, QString()});
        return request;
    };

    // One writer per user, and a second one for user 0, all saving at once.
    const int port = m_service->port();
    std::vector<std::thread> writers;
    std::vector<int> mismatches(users + 1, 0);
    for (int w = 0; w <= users; ++w) {
        writers.emplace_back([&, w] {
            const int user = w == users ? 0 : w;
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(30);
            for (int round = 0; round < savesEach; ++round) {
                const PortfolioPutRequest request = portfolio(user, w, round);
                const auto answer =
                    client.Put("/v1/portfolio", {{"Authorization", "Bearer " + tokens[user].toStdString()}},
                               encodeJSON(request)->toStdString(), "application/json");
                const auto decoded = answer && answer->status == 200
                                         ? decodeJSON<PortfolioResponse>(QByteArray::fromStdString(answer->body))
                                         : decodeJSON<PortfolioResponse>(QByteArray());
                if (!decoded || *decoded != answerFor(request))
                    ++mismatches[w];
            }
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    QCOMPARE(mismatches, std::vector<int>(users + 1, 0));

    // Answered means on disk: a killed service still has every user's last save.
    m_service->kill();
    QVERIFY(startService());
    for (int u = 0; u < users; ++u) {
        const auto loaded = load(tokens[u]);
        QVERIFY(loaded);
        const PortfolioResponse last = answerFor(portfolio(u, u, savesEach - 1));
        if (u == 0)
            QVERIFY(*loaded == last || *loaded == answerFor(portfolio(0, users, savesEach - 1)));
        else
            QCOMPARE(*loaded, last);
    }
}

void ServiceSavesTest::steadySavesKeepTheWriteAheadLogSmall()
{
    if (onPostgreSQL())
        QSKIP("the write-ahead log is SQLite's");
    // Saves that never pause leave no moment in which a background checkpoint catches up with them; the log
    // must start over all the same, and no connection may keep a read open once its request is answered.
    constexpr int writers = 4;
    constexpr int savesEach = 1250;
    constexpr qint64 limit = 8 * 1024 * 1024;
    const QString file = m_folder->filePath(QStringLiteral("service.sqlite3"));
    const QString log = file + QStringLiteral("-wal");
    m_service.reset();
    QVERIFY(startService({QStringLiteral("--rate-limit"), QStringLiteral("0")}));
    std::vector<QString> tokens;
    for (int w = 0; w < writers; ++w)
        tokens.push_back(signIn(QStringLiteral("user%1@example.com").arg(w)));

    const int port = m_service->port();
    std::atomic<int> running = writers;
    std::vector<int> failures(writers, 0);
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(30);
            const httplib::Headers authorization{{"Authorization", "Bearer " + tokens[w].toStdString()}};
            PortfolioPutRequest request{{}, {}, QStringLiteral("macos-app")};
            for (int i = 0; i < 20; ++i)
                request.holdings.append(holding(QStringLiteral("H-%1").arg(i), QStringLiteral("C%1").arg(i)));
            for (int save = 0; save < savesEach; ++save) {
                for (ServerHolding &h : request.holdings)
                    h.currentPrice = 50 + save * 0.01; // every row changes, as when prices are refreshed
                const auto answer =
                    client.Put("/v1/portfolio", authorization, encodeJSON(request)->toStdString(), "application/json");
                failures[w] += !answer || answer->status != 200;
            }
            const auto loaded = client.Get("/v1/portfolio", authorization);
            failures[w] += !loaded || portfolioIn(Raw{loaded->status, loaded->body, {}}) != answerFor(request);
            --running;
        });
    }
    qint64 largest = 0;
    while (running > 0) {
        largest = std::max(largest, QFileInfo(log).size());
        QThread::msleep(20);
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(failures, std::vector<int>(writers, 0));
    QVERIFY2(largest < limit, qPrintable(QStringLiteral("the log reached %1 bytes").arg(largest)));
    QVERIFY2(QFileInfo(log).size() < limit,
             qPrintable(QStringLiteral("the log ended at %1 bytes").arg(QFileInfo(log).size())));

    // Idle, the service holds no read: a checkpoint from outside can empty the log, once the service's own
    // checkpoint, which it cannot wait for, is out of its way.
    bool emptied = false;
    {
        QSqlDatabase outside = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        outside.setDatabaseName(file);
        outside.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY(outside.open());
        for (int attempt = 0; attempt < 100 && !emptied; ++attempt) {
            QSqlQuery checkpoint(outside);
            QVERIFY(checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && checkpoint.next());
            emptied = checkpoint.value(0).toInt() == 0;
            if (!emptied)
                QThread::msleep(10);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    QVERIFY2(emptied, "a connection of the service keeps a read open between requests");
}

QTEST_GUILESS_MAIN(ServiceSavesTest)
#include "tst_servicesaves.moc"

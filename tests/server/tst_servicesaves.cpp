#include "tests/server/ServiceFixture.h"

#include <QTest>

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
    void concurrentSavesAreKeptApartAndDurable();

private:
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
    QTest::newRow("market") << Edit([](PortfolioPutRequest &p) { p.holdings[1].market = QStringLiteral("US"); });
    QTest::newRow("sector") << Edit([](PortfolioPutRequest &p) { p.holdings[1].sector = QStringLiteral("Energy"); });
    QTest::newRow("sub-sector") << Edit(
        [](PortfolioPutRequest &p) { p.holdings[1].subSector = QStringLiteral("Oil"); });
    QTest::newRow("code") << Edit([](PortfolioPutRequest &p) { p.holdings[1].code = QStringLiteral("0001"); });
    QTest::newRow("currency") << Edit([](PortfolioPutRequest &p) { p.holdings[1].currency = QStringLiteral("HKD"); });
    QTest::newRow("broker") << Edit([](PortfolioPutRequest &p) { p.holdings[1].broker = QStringLiteral("IBKR"); });
    QTest::newRow("average price") << Edit([](PortfolioPutRequest &p) { p.holdings[1].averagePrice = 50.25; });
    QTest::newRow("quantity") << Edit([](PortfolioPutRequest &p) { p.holdings[1].quantity = 11; });
    QTest::newRow("price by its last digit")
        << Edit([](PortfolioPutRequest &p) { p.holdings[1].currentPrice += 1e-12; });
    QTest::newRow("rate") << Edit([](PortfolioPutRequest &p) { p.holdings[1].fxToUsd = 9.5; });
    QTest::newRow("note") << Edit([](PortfolioPutRequest &p) { p.holdings[1].note = QStringLiteral("\u5099\u8003"); });
    QTest::newRow("text moved to the next field") << Edit([](PortfolioPutRequest &p) {
        p.holdings[1].sector += p.holdings[1].subSector;
        p.holdings[1].subSector.clear();
    });
    QTest::newRow("order") << Edit([](PortfolioPutRequest &p) { p.holdings.swapItemsAt(0, 2); });
    QTest::newRow("holding removed") << Edit([](PortfolioPutRequest &p) { p.holdings.removeAt(1); });
    QTest::newRow("holding added") << Edit(
        [](PortfolioPutRequest &p) { p.holdings.insert(1, holding(QStringLiteral("H-new"), QStringLiteral("0388"))); });
    QTest::newRow("cash broker") << Edit(
        [](PortfolioPutRequest &p) { p.cashBalances[0].broker = QStringLiteral("Futu"); });
    QTest::newRow("cash amount") << Edit([](PortfolioPutRequest &p) { p.cashBalances[0].originalCash = 0; });
    QTest::newRow("cash currency") << Edit(
        [](PortfolioPutRequest &p) { p.cashBalances[0].currency = QStringLiteral("HKD"); });
    QTest::newRow("cash rate") << Edit([](PortfolioPutRequest &p) { p.cashBalances[0].fxToUsd = 0.128; });
    QTest::newRow("cash note") << Edit([](PortfolioPutRequest &p) { p.cashBalances[0].note.clear(); });
    QTest::newRow("every cash balance removed") << Edit([](PortfolioPutRequest &p) { p.cashBalances.clear(); });
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
    base.holdings[0] = ServerHolding{QStringLiteral("H-1"),
                                     QStringLiteral("US"),
                                     QStringLiteral("Information Technology"),
                                     QStringLiteral("Technology Hardware, Storage & Peripherals"),
                                     QStringLiteral("AAPL"),
                                     QStringLiteral("USD"),
                                     QStringLiteral("IBKR"),
                                     100,
                                     10,
                                     120,
                                     1,
                                     QString()};
    QCOMPARE(save(token, base), answerFor(base));
    QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(endpoint(), token, trade(QStringLiteral("BUY"), 5, 130))));
    QCOMPARE(stored(token)->holdings[0].quantity, 15.0);

    // The app undoes the trade's effect by saving the holding as it was before it.
    QCOMPARE(save(token, base), answerFor(base));
    QCOMPARE(stored(token), std::optional(answerFor(base)));
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

QTEST_GUILESS_MAIN(ServiceSavesTest)
#include "tst_servicesaves.moc"

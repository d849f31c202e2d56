#include "core/CurrencyCatalog.h"
#include "tests/server/ServiceFixture.h"

#include <QProcess>
#include <QSet>
#include <QTest>

using namespace quillfern;
using namespace quillfern::servicetest;

namespace {

struct Seeding {
    int exitCode = -1;
    QString output;
};

struct Account {
    PortfolioResponse portfolio;
    QList<TransactionRecord> transactions;
};

} // namespace

// `quillfern-server --seed-demo EMAIL` run beside a live service on the same database, and what the first
// development sign-in with that email then finds.
class ServiceDemoTest : public ServiceFixture {
    Q_OBJECT

private Q_SLOTS:
    void signInFindsTheDemoPortfolio_data();
    void signInFindsTheDemoPortfolio();
    void demoPricesAreTheServiceQuotes();
    void seedingTwiceChangesNothing();
    void anExistingPortfolioIsLeftAlone();
    void seedingRefusesWhatIsNotAnEmail_data();
    void seedingRefusesWhatIsNotAnEmail();

private:
    Seeding seed(const QString &email);
    Account account(const QString &token);
};

Seeding ServiceDemoTest::seed(const QString &email)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(QUILLFERN_SERVER_BINARY),
                  {QStringLiteral("--database"), m_databaseURL, QStringLiteral("--seed-demo"), email});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return Seeding{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromUtf8(process.readAll())};
}

Account ServiceDemoTest::account(const QString &token)
{
    Account result;
    const auto portfolio = QCoro::waitFor(
        PortfolioAPI::send<PortfolioResponse>(endpoint(), QStringLiteral("/v1/portfolio"), "GET", token));
    const auto transactions = QCoro::waitFor(PortfolioAPI::fetchTransactions(endpoint(), token));
    if (portfolio)
        result.portfolio = *portfolio;
    else
        qWarning("portfolio: %s", qPrintable(portfolio.error().description()));
    if (transactions)
        result.transactions = *transactions;
    else
        qWarning("transactions: %s", qPrintable(transactions.error().description()));
    return result;
}

void ServiceDemoTest::signInFindsTheDemoPortfolio_data()
{
    QTest::addColumn<QString>("seededFor");
    QTest::addColumn<QString>("signedInAs");
    QTest::newRow("same address") << QStringLiteral("demo@quillfern.example")
                                  << QStringLiteral("demo@quillfern.example");
    QTest::newRow("other case") << QStringLiteral("Demo@Quillfern.Example") << QStringLiteral("demo@quillfern.example");
    QTest::newRow("typed with blanks") << QStringLiteral(" demo@quillfern.example ")
                                       << QStringLiteral("DEMO@quillfern.example");
}

void ServiceDemoTest::signInFindsTheDemoPortfolio()
{
    QFETCH(QString, seededFor);
    QFETCH(QString, signedInAs);
    const Seeding seeded = seed(seededFor);
    QVERIFY2(seeded.exitCode == 0, qPrintable(seeded.output));
    QVERIFY2(seeded.output.contains(QStringLiteral("demo portfolio seeded")), qPrintable(seeded.output));

    const QString token = signIn(signedInAs);
    QVERIFY(!token.isEmpty());
    const Account found = account(token);
    const QList<ServerHolding> &holdings = found.portfolio.holdings;
    QVERIFY2(holdings.size() >= 28 && holdings.size() <= 35, qPrintable(QString::number(holdings.size())));

    QSet<QString> markets, listings;
    for (const ServerHolding &holding : holdings) {
        markets.insert(holding.market);
        listings.insert(holding.broker + u'/' + holding.market + u'/' + holding.code);
        QVERIFY2(holding.quantity > 0 && holding.averagePrice > 0, qPrintable(holding.code));
        QCOMPARE(holding.currency, CurrencyCatalog::currency(holding.market));
    }
    QCOMPARE(markets, (QSet<QString>{QStringLiteral("US"), QStringLiteral("HK"), QStringLiteral("CN"),
                                     QStringLiteral("JP"), QStringLiteral("EU")}));
    QCOMPARE(listings.size(), holdings.size());

    // The sectors are names the app's pickers offer, so every seeded row can be edited as it stands.
    const auto gics = QCoro::waitFor(PortfolioAPI::fetchGICSClassifications(endpoint(), token));
    QVERIFY(gics);
    QSet<QString> classifications;
    for (const GICSClassification &entry : *gics)
        classifications.insert(entry.sectorName + u'/' + entry.subIndustryName);
    for (const ServerHolding &holding : holdings)
        QVERIFY2(classifications.contains(holding.sector + u'/' + holding.subSector), qPrintable(holding.code));

    const QList<ServerCashBalance> &cash = found.portfolio.cashBalances;
    QSet<QString> brokers, currencies, pairs;
    for (const ServerCashBalance &balance : cash) {
        brokers.insert(balance.broker);
        currencies.insert(balance.currency);
        pairs.insert(balance.broker + u'/' + balance.currency);
        QVERIFY(balance.originalCash > 0);
        QCOMPARE(balance.fxToUsd, CurrencyCatalog::fxToUSD(balance.currency));
    }
    QVERIFY2(brokers.size() >= 3 && currencies.size() >= 3, qPrintable(QString::number(cash.size())));
    QCOMPARE(pairs.size(), cash.size());

    // Every trade belongs to a position the account holds, and the ledger lists the newest first.
    QVERIFY(found.transactions.size() >= 5);
    for (const TransactionRecord &trade : found.transactions) {
        QVERIFY2(listings.contains(trade.broker + u'/' + trade.market + u'/' + trade.code), qPrintable(trade.code));
        QVERIFY(!trade.sector.isEmpty());
    }
    for (qsizetype i = 1; i < found.transactions.size(); ++i)
        QVERIFY(found.transactions[i - 1].tradedAt >= found.transactions[i].tradedAt);
}

void ServiceDemoTest::demoPricesAreTheServiceQuotes()
{
    QCOMPARE(seed(QStringLiteral("demo@quillfern.example")).exitCode, 0);
    const QString token = signIn(QStringLiteral("demo@quillfern.example"));
    const Account found = account(token);
    QVERIFY(!found.portfolio.holdings.isEmpty());
    // A price refresh right after the first sign-in changes nothing, since each price is the service's quote.
    for (const ServerHolding &holding : found.portfolio.holdings) {
        const auto price =
            QCoro::waitFor(PortfolioAPI::fetchStockPrice(endpoint(), token, holding.code, holding.market));
        QVERIFY2(price, qPrintable(holding.market + u' ' + holding.code));
        QCOMPARE(price->price, holding.currentPrice);
    }
}

void ServiceDemoTest::seedingTwiceChangesNothing()
{
    const QString email = QStringLiteral("demo@quillfern.example");
    QCOMPARE(seed(email).exitCode, 0);
    const QString token = signIn(email);
    const Account first = account(token);
    QVERIFY(!first.portfolio.holdings.isEmpty());

    const Seeding again = seed(email);
    QVERIFY2(again.exitCode == 0, qPrintable(again.output));
    QVERIFY2(again.output.contains(QStringLiteral("left as it was")), qPrintable(again.output));
    const Account second = account(token);
    QCOMPARE(second.portfolio, first.portfolio);
    QCOMPARE(second.transactions, first.transactions);
}

void ServiceDemoTest::anExistingPortfolioIsLeftAlone()
{
    const QString email = QStringLiteral("ann@example.com");
    const QString token = signIn(email);
    const PortfolioPutRequest own{{holding(std::nullopt, QStringLiteral("0005"))}, {}, QStringLiteral("test")};
    QVERIFY(QCoro::waitFor(PortfolioAPI::send<PortfolioResponse>(endpoint(), QStringLiteral("/v1/portfolio"), "PUT",
                                                                 token, std::optional(own))));
    const Account before = account(token);
    QCOMPARE(before.portfolio.holdings.size(), 1);

    const Seeding seeded = seed(email);
    QVERIFY2(seeded.exitCode == 0, qPrintable(seeded.output));
    const Account after = account(token);
    QCOMPARE(after.portfolio, before.portfolio);
    QVERIFY(after.transactions.isEmpty());
}

void ServiceDemoTest::seedingRefusesWhatIsNotAnEmail_data()
{
    QTest::addColumn<QString>("email");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("   ");
    QTest::newRow("no at sign") << QStringLiteral("demo.quillfern.example");
}

void ServiceDemoTest::seedingRefusesWhatIsNotAnEmail()
{
    QFETCH(QString, email);
    const Seeding seeded = seed(email);
    QCOMPARE(seeded.exitCode, 2);
    QVERIFY2(seeded.output.contains(QStringLiteral("--seed-demo")), qPrintable(seeded.output));
}

QTEST_GUILESS_MAIN(ServiceDemoTest)
#include "tst_servicedemo.moc"

// The workspace against the real service on a temporary SQLite file, signed in through the service's
// development pages.

#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"
#include "tests/workspace/EditingHarness.h"
#include "tests/support/QuietConsole.h"

using namespace quillfern;
using namespace quillfern::testing;

class WorkspaceServiceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void aHoldingTypedInIsPricedSavedAndRestored();
    void aTransactionReloadsLedgerAndHoldings();

private:
    // A fresh window signed in as Ann, its load chain done.
    std::unique_ptr<EditingHarness> signedIn();

    QTemporaryDir m_folder;
    std::unique_ptr<ServiceProcess> m_service;
};

void WorkspaceServiceTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    m_service = std::make_unique<ServiceProcess>(
        QStringLiteral("sqlite:") +
            m_folder.filePath(
                QStringLiteral("service-%1.sqlite3").arg(QString::fromLatin1(QTest::currentTestFunction()))),
        QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
}

void WorkspaceServiceTest::cleanup()
{
    m_service.reset();
}

std::unique_ptr<EditingHarness> WorkspaceServiceTest::signedIn()
{
    auto h = std::make_unique<EditingHarness>();
    h->open(m_service->baseURL(), {}, developmentSignIn(QStringLiteral("Ann Lee"), QStringLiteral("ann@example.com")));
    if (!h->startAndLoad())
        return nullptr;
    QSignalSpy loaded(h->workspace.get(), &Workspace::sessionLoaded);
    h->auth->signInWithGoogle();
    if (!loaded.wait(20000) || !h->auth->accessToken())
        return nullptr;
    return h;
}

void WorkspaceServiceTest::aHoldingTypedInIsPricedSavedAndRestored()
{
    const auto h = signedIn();
    QVERIFY(h);
    Workspace &w = *h->workspace;
    QVERIFY(w.currencies().size() >= 6);
    QVERIFY(w.languages().size() >= 5);
    QVERIFY(w.brokerages().size() >= 6);
    QVERIFY(!w.gicsClassifications().isEmpty());
    QVERIFY(w.rows().isEmpty());
    QVERIFY(!w.portfolioError());

    typeHolding(*h->editor, QStringLiteral(" aapl "), 3, 150);
    QVERIFY(!h->editor->rowEditError());
    QTRY_VERIFY_WITH_TIMEOUT(w.rowEditStatus().startsWith(QStringLiteral("Saved AAPL \u00B7 current ")), 10000);
    QVERIFY(w.rows().first().currentPrice > 0);
    QVERIFY(h->waitForSync());
    QVERIFY(!w.portfolioError());

    // The next window, signed in from the stored session, finds the holding as it was saved.
    auto next = std::make_unique<EditingHarness>();
    next->open(m_service->baseURL(), h->auth->accessToken().value());
    QVERIFY(next->startAndLoad());
    QCOMPARE(next->workspace->rows(), w.rows());
    QCOMPARE(next->workspace->rows().first().code, QStringLiteral("AAPL"));
    QCOMPARE(next->workspace->rows().first().sector, w.gicsSectorNames().first());
}

void WorkspaceServiceTest::aTransactionReloadsLedgerAndHoldings()
{
    const auto h = signedIn();
    QVERIFY(h);
    Workspace &w = *h->workspace;
    typeHolding(*h->editor, QStringLiteral("MSFT"), 10, 100);
    QVERIFY(h->waitForSync());
    const AssetRow before = w.rows().first();

    TransactionCreateInput buy{before.broker,
                               QStringLiteral("US"),
                               QStringLiteral("msft"),
                               QStringLiteral("BUY"),
                               10,
                               200,
                               0,
                               QStringLiteral("USD"),
                               before.sector,
                               before.subSector,
                               QStringLiteral("2026-12-01T10:00:00Z"),
                               QStringLiteral("Adding"),
                               {},
                               {},
                               {}};
    auto create = w.createTransaction(buy);
    const auto failure = QCoro::waitFor(std::move(create));
    QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");
    QCOMPARE(w.transactions().size(), 1);
    QCOMPARE(w.transactions().first().code.toUpper(), QStringLiteral("MSFT"));
    QCOMPARE(w.rows().size(), 1);
    QCOMPARE(w.rows().first().quantity, 20.0);
    QCOMPARE(w.rows().first().averagePrice, 150.0);
    QVERIFY(w.portfolioMatchesSyncedData());

    // A sell beyond the position is the service's to refuse; nothing here changes.
    TransactionCreateInput sell = buy;
    sell.transactionType = QStringLiteral("SELL");
    sell.quantity = 50;
    auto refused = w.createTransaction(sell);
    const auto why = QCoro::waitFor(std::move(refused));
    QVERIFY(why);
    QVERIFY(!why->description().isEmpty());
    QCOMPARE(w.transactions().size(), 1);
    QCOMPARE(w.rows().first().quantity, 20.0);
}

QTEST_GUILESS_MAIN(WorkspaceServiceTest)
#include "tst_workspaceservice.moc"

// Windows that start offline, lose the service, or share an account with another window, against the real
// service: nothing the user typed is lost and nothing the account holds is replaced by a copy never loaded.

#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"
#include "tests/workspace/EditingHarness.h"
#include "tests/support/QuietConsole.h"

#include <QDir>
#include <QProcess>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

const QString annEmail = QStringLiteral("ann@example.com");

PortfolioData stored(const QUrl &service, const QString &token)
{
    QNetworkAccessManager network;
    auto fetched = QCoro::waitFor(PortfolioAPI::fetchPortfolio(APIEndpoint{service, &network}, token));
    return fetched ? *fetched : PortfolioData{};
}

void setQuantity(HoldingsEditor &e, const QString &id, double quantity)
{
    for (AssetRow row : e.rows().rows()) {
        if (row.id == id) {
            row.quantity = quantity;
            e.beginEditing(row);
            e.rows().updateRow(id, row);
            e.saveEditingRow();
        }
    }
}

const AssetRow *findRow(const QList<AssetRow> &rows, const QString &id)
{
    const auto found = std::find_if(rows.cbegin(), rows.cend(), [&](const AssetRow &row) { return row.id == id; });
    return found == rows.cend() ? nullptr : &*found;
}

} // namespace

class OfflineSyncTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void anOfflineStartNeverReplacesTheAccount_data();
    void anOfflineStartNeverReplacesTheAccount();
    void anOfflineEditSurvivesRetryAndRestart();
    void aFreshSignInKeepsACopy();
    void twoWindowsOnOneAccount_data();
    void twoWindowsOnOneAccount();

private:
    // A window on the account of m_token, keeping its copy in the shared folder when asked.
    std::unique_ptr<EditingHarness> window(bool keepsCopy = true);

    QTemporaryDir m_folder;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_token;
};

void OfflineSyncTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    const QString database =
        QStringLiteral("sqlite:") +
        m_folder.filePath(QStringLiteral("service-%1-%2.sqlite3")
                              .arg(QString::fromLatin1(QTest::currentTestFunction()),
                                   QString::fromLatin1(QTest::currentDataTag())));
    // Thirty holdings and cash at five brokers, as an account used for a while holds.
    QProcess seed;
    seed.start(QStringLiteral(QUILLFERN_SERVER_BINARY),
               {QStringLiteral("--database"), database, QStringLiteral("--seed-demo"), annEmail});
    QVERIFY(seed.waitForFinished(60000) && seed.exitCode() == 0);
    m_service = std::make_unique<ServiceProcess>(database, QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
    m_token = signInToken(m_service->baseURL(), QStringLiteral("Ann Lee"), annEmail);
    QVERIFY(!m_token.isEmpty());
}

void OfflineSyncTest::cleanup()
{
    m_service.reset();
}

std::unique_ptr<EditingHarness> OfflineSyncTest::window(bool keepsCopy)
{
    auto h = std::make_unique<EditingHarness>();
    if (keepsCopy)
        h->localCopyFolder = m_folder.filePath(QStringLiteral("copies-") +
                                               QString::fromLatin1(QTest::currentDataTag()));
    h->open(m_service->baseURL(), m_token);
    return h;
}

void OfflineSyncTest::anOfflineStartNeverReplacesTheAccount_data()
{
    QTest::addColumn<bool>("copyFromEarlierRun");
    QTest::newRow("first start on this computer") << false;
    QTest::newRow("copy kept by an earlier run") << true;
}

void OfflineSyncTest::anOfflineStartNeverReplacesTheAccount()
{
    QFETCH(bool, copyFromEarlierRun);
    const PortfolioData before = stored(m_service->baseURL(), m_token);
    QCOMPARE(before.holdings.size(), 30);
    QVERIFY(!before.cashBalances.isEmpty());
    if (copyFromEarlierRun) {
        auto earlier = window();
        QVERIFY(earlier->startAndLoad());
        QCOMPARE(earlier->workspace->rows().size(), 30);
    }

    m_service->stop();
    auto h = window(copyFromEarlierRun);
    QVERIFY(h->startAndLoad(20000));
    Workspace &w = *h->workspace;
    QVERIFY(w.portfolioError());
    QVERIFY(w.isOffline());
    QCOMPARE(w.rows().size(), copyFromEarlierRun ? 30 : 0);
    QCOMPARE(w.isShowingLocalCopy(), copyFromEarlierRun);

    // The service comes back; the user types a holding before anything reconnected.
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
    typeHolding(*h->editor, QStringLiteral("MSFT"), 7, 100);
    QTRY_VERIFY_WITH_TIMEOUT(!w.isOffline() && w.rows().size() == 31, 20000);
    QVERIFY(h->waitForSync(20000));

    const PortfolioData after = stored(m_service->baseURL(), m_token);
    QCOMPARE(after.holdings.size(), 31);
    QCOMPARE(after.cashBalances, before.cashBalances);
    for (const AssetRow &row : before.holdings)
        QVERIFY(findRow(after.holdings, row.id));
}

void OfflineSyncTest::anOfflineEditSurvivesRetryAndRestart()
{
    auto h = window();
    QVERIFY(h->startAndLoad());
    const AssetRow first = h->workspace->rows().first();

    m_service->stop();
    setQuantity(*h->editor, first.id, first.quantity + 100);
    h->workspace->retryLoadPortfolio();
    QTRY_VERIFY_WITH_TIMEOUT(h->workspace->isOffline(), 10000);
    QCOMPARE(findRow(h->workspace->rows(), first.id)->quantity, first.quantity + 100);
    QVERIFY(h->workspace->flushLocalCopy());
    h.reset(); // quit

    // The next start paints the kept copy, edit included, before the service is back.
    auto next = window();
    next->workspace->start();
    QVERIFY(next->workspace->isShowingLocalCopy());
    QCOMPARE(findRow(next->workspace->rows(), first.id)->quantity, first.quantity + 100);
    QVERIFY(m_service->start());
    QTRY_VERIFY_WITH_TIMEOUT(!next->workspace->isShowingLocalCopy() && !next->workspace->isOffline(), 20000);
    QVERIFY(next->waitForSync(20000));

    const PortfolioData after = stored(m_service->baseURL(), m_token);
    QCOMPARE(after.holdings.size(), 30);
    QCOMPARE(findRow(after.holdings, first.id)->quantity, first.quantity + 100);

    // Signing out leaves nothing of the account on this computer.
    const QDir copies(next->localCopyFolder);
    QCOMPARE(copies.entryList(QDir::Files).size(), 1);
    next->workspace->signOut();
    QVERIFY(copies.entryList(QDir::Files).isEmpty());
}

// The first sign-in on this computer, through the browser, keeps a copy as a restored session does: the
// next start without the service shows the portfolio.
void OfflineSyncTest::aFreshSignInKeepsACopy()
{
    EditingHarness h;
    h.localCopyFolder = m_folder.filePath(QStringLiteral("copies-fresh"));
    h.open(m_service->baseURL(), {}, developmentSignIn(QStringLiteral("Ann Lee"), annEmail));
    QVERIFY(h.startAndLoad());
    h.auth->signInWithGoogle();
    QTRY_VERIFY_WITH_TIMEOUT(h.workspace->rows().size() == 30, 20000);
    QVERIFY(h.waitForSync(20000));

    m_service->stop();
    h.open(m_service->baseURL()); // the next start, from what the sign-in stored
    h.workspace->start();
    QVERIFY(h.workspace->isShowingLocalCopy());
    QCOMPARE(h.workspace->rows().size(), 30);
}

void OfflineSyncTest::twoWindowsOnOneAccount_data()
{
    QTest::addColumn<bool>("sameRow");
    QTest::newRow("different rows") << false;
    QTest::newRow("same row") << true;
}

void OfflineSyncTest::twoWindowsOnOneAccount()
{
    QFETCH(bool, sameRow);
    auto a = window(false);
    auto b = window(false);
    QVERIFY(a->startAndLoad());
    QVERIFY(b->startAndLoad());
    const QString rowA = a->workspace->rows().at(0).id;
    const QString rowB = a->workspace->rows().at(sameRow ? 0 : 1).id;

    setQuantity(*a->editor, rowA, 111);
    QVERIFY(a->waitForSync());
    // b saves on top of the copy it loaded before a's save.
    setQuantity(*b->editor, rowB, 222);
    QVERIFY(b->waitForSync(20000));
    QVERIFY(!b->workspace->portfolioError());

    const PortfolioData after = stored(m_service->baseURL(), m_token);
    QCOMPARE(after.holdings.size(), 30);
    QCOMPARE(findRow(after.holdings, rowB)->quantity, 222.0);
    if (sameRow) {
        // The user is told whose change was kept over the other window's.
        const QString status = b->workspace->rowEditStatus();
        QVERIFY2(status.contains(QStringLiteral("elsewhere")) && status.contains(findRow(after.holdings, rowB)->code),
                 qPrintable(status));
    } else {
        QCOMPARE(findRow(after.holdings, rowA)->quantity, 111.0);
        QCOMPARE(findRow(b->workspace->rows(), rowA)->quantity, 111.0);
    }
}

QTEST_GUILESS_MAIN(OfflineSyncTest)
#include "tst_offlinesync.moc"

#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/holdings/AssetColumns.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/AddTableButton.h"
#include "app/table/CellEditors.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "auth/desktop/InstanceChannel.h"
#include "auth/desktop/SystemBrowserSession.h"
#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUrlQuery>

#include <thread>

using namespace quillfern;

class SignInWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstRunSignInAddAHoldingAndFindItAfterARestart();
    void stopWaitingReturnsToTheButton();
};

void SignInWindowTest::firstRunSignInAddAHoldingAndFindItAfterARestart()
{
    QTemporaryDir folder;
    testing::ServiceProcess service(QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("service.sqlite3")),
                                    {QStringLiteral("--quiet")});
    QVERIFY2(service.start(), qPrintable(service.output()));

    // This test is the running app; the browser's link arrives through a second process, as in real life.
    InstanceChannel channel(folder.filePath(QStringLiteral("runtime")));
    QCOMPARE(channel.claim(), InstanceChannel::Role::Primary);
    CallbackInbox inbox;
    std::thread browser;
    const QString runtime = folder.filePath(QStringLiteral("runtime"));
    const APIEndpoint endpoint{service.baseURL(), new QNetworkAccessManager(this)};
    const QString settings = folder.filePath(QStringLiteral("settings.ini"));
    const auto preferences = [settings] { return std::make_unique<QSettings>(settings, QSettings::IniFormat); };
    AuthManager auth(
        endpoint,
        [&](const QUrl &start, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
            return std::make_unique<SystemBrowserSession>(start, scheme, inbox, [&browser, runtime](const QUrl &url) {
                browser = std::thread([url, runtime] {
                    const QString link = testing::browseDevelopmentSignIn(url, "Ann Example", "ann@example.com");
                    QProcess::execute(QStringLiteral(QUILLFERN_CHANNEL_PROBE), {runtime, link});
                });
                return true;
            });
        },
        preferences());

    auto workspace = std::make_unique<Workspace>(auth, endpoint, preferences());
    auto window = std::make_unique<MainWindow>(*workspace);
    connect(&channel, &InstanceChannel::linksReceived, window.get(), [&](const QStringList &links) {
        for (const QString &link : links)
            inbox.deliver(QUrl(link));
        window->bringToFront();
    });
    window->show();
    workspace->start();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->minimumSizeHint().width() >= 1280 || window->content()->minimumWidth() >= 1280);
    QWidget *signIn = window->findChild<QPushButton *>(QStringLiteral("signIn"));
    QVERIFY(signIn && signIn->isVisible());
    window->grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/signin-signed-out.png"));

    QSignalSpy signedIn(&auth, &AuthManager::userChanged);
    QTest::mouseClick(signIn, Qt::LeftButton);
    QVERIFY(auth.isSigningIn());
    QVERIFY(window->findChild<QPushButton *>(QStringLiteral("stopWaiting"))->isVisible());
    window->grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/signin-waiting.png"));
    QVERIFY(signedIn.wait(15000));
    browser.join();
    QTRY_VERIFY_WITH_TIMEOUT(!auth.isSigningIn(), 5000);
    QVERIFY2(!auth.errorMessage(), qPrintable(auth.errorMessage().value_or(QString())));
    QCOMPARE(auth.user()->name, QStringLiteral("Ann Example"));
    QVERIFY(auth.accessToken());
    // A first sign-in shows an empty portfolio, ready to be filled.
    QTRY_VERIFY_WITH_TIMEOUT(window->content()->tabs() && window->content()->tabs()->isVisible(), 15000);
    QVERIFY(!signIn->isVisible());
    QCOMPARE(window->content()->accountMenuButton()->text(), QStringLiteral("Ann Example"));
    QVERIFY(workspace->rows().isEmpty());
    QVERIFY(!workspace->portfolioError());

    // A holding typed in by keyboard: add a row, type the code and the numbers, Return.
    HoldingsPage *page = window->content()->holdingsPage();

    QTest::mouseClick(page->addRowButton(), Qt::LeftButton);
    QTableView *view = page->table()->view();
    const auto editor = [&](int column) { return view->indexWidget(view->model()->index(0, column)); };
    auto *code = qobject_cast<table::EditingTextCell *>(editor(CodeColumn));
    QVERIFY(code);
    QTRY_VERIFY(code->hasFocus());
    QTest::keyClicks(code, QStringLiteral("aapl"));
    auto *average = qobject_cast<table::EditingNumberCell *>(editor(AveragePriceColumn));
    auto *quantity = qobject_cast<table::EditingNumberCell *>(editor(QuantityColumn));
    average->field()->setFocus();
    average->field()->selectAll();
    QTest::keyClicks(average->field(), QStringLiteral("150.25"));
    quantity->field()->setFocus();
    quantity->field()->selectAll();
    QTest::keyClicks(quantity->field(), QStringLiteral("12"));
    QTest::keyClick(quantity->field(), Qt::Key_Return);
    QVERIFY2(!page->editor().rowEditError(), qPrintable(page->editor().rowEditError().value_or(QString())));
    QTRY_VERIFY_WITH_TIMEOUT(workspace->rowEditStatus().startsWith(QStringLiteral("Saved AAPL \u00B7 current ")),
                             10000);
    const double price = workspace->rows().first().currentPrice;
    QVERIFY(price > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!workspace->hasPendingSave() && !workspace->isSavingPortfolio() &&
                                 workspace->portfolioMatchesSyncedData(),
                             10000);
    QTabWidget *tabs = window->content()->tabs();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QTest::qWait(50);
        window->grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/firstrun-page-%1.png").arg(i));
    }

    // Restarted: the holding comes back from the service.
    window.reset();
    workspace.reset();
    AuthManager restored(endpoint, {}, preferences());
    QCOMPARE(restored.accessToken(), auth.accessToken());
    QCOMPARE(restored.user(), auth.user());
    Workspace again(restored, endpoint, preferences());
    MainWindow reopened(again);
    reopened.show();
    QSignalSpy loaded(&again, &Workspace::sessionLoaded);
    again.start();
    QVERIFY(loaded.wait(15000));
    QVERIFY2(!again.portfolioError(), qPrintable(again.portfolioError().value_or(QString())));
    QCOMPARE(again.rows().size(), 1);
    QCOMPARE(again.rows().first().code, QStringLiteral("AAPL"));
    QCOMPARE(again.rows().first().averagePrice, 150.25);
    QCOMPARE(again.rows().first().quantity, 12.0);
    QCOMPARE(again.rows().first().currentPrice, price);
    QTRY_VERIFY(reopened.content()->tabs() && reopened.content()->tabs()->isVisible());
    reopened.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/firstrun-restarted.png"));
}

void SignInWindowTest::stopWaitingReturnsToTheButton()
{
    QTemporaryDir folder;
    CallbackInbox inbox;
    AuthManager auth(
        APIEndpoint{QUrl(QStringLiteral("http://127.0.0.1:9")), new QNetworkAccessManager(this)},
        [&](const QUrl &start, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
            return std::make_unique<SystemBrowserSession>(start, scheme, inbox, [](const QUrl &) { return true; });
        },
        std::make_unique<QSettings>(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
    Workspace workspace(
        auth, APIEndpoint{QUrl(QStringLiteral("http://127.0.0.1:9")), new QNetworkAccessManager(this)},
        std::make_unique<QSettings>(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
    MainWindow window(workspace);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("signIn")), Qt::LeftButton);
    QPushButton *stop = window.findChild<QPushButton *>(QStringLiteral("stopWaiting"));
    QVERIFY(stop->isVisible());
    QTest::mouseClick(stop, Qt::LeftButton);
    QTRY_VERIFY(!auth.isSigningIn());
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("signIn"))->isVisible());
    QVERIFY(!auth.errorMessage());
    // The link of an abandoned sign-in is ignored.
    QVERIFY(!inbox.deliver(QUrl(QStringLiteral("quillfern://oauth/callback?code=late"))));
}

QTEST_MAIN(SignInWindowTest)
#include "tst_signinwindow.moc"

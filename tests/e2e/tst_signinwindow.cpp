#include "app/MainWindow.h"
#include "auth/AuthManager.h"
#include "auth/desktop/InstanceChannel.h"
#include "auth/desktop/SystemBrowserSession.h"
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <thread>

using namespace quillfern;

namespace {

// Plays the user's browser: follows the service from the start URL to the development form, fills it in
// and returns where the service finally sends the browser (a quillfern:// link), or nothing.
QString browseSignIn(const QUrl &start, const std::string &name, const std::string &email)
{
    httplib::Client client("127.0.0.1", start.port());
    client.set_read_timeout(10);
    const std::string target =
        start.path(QUrl::FullyEncoded).toStdString() + "?" + start.query(QUrl::FullyEncoded).toStdString();
    const auto form = client.Get(target.c_str());
    if (!form || form->status != 302)
        return {};
    const auto page = client.Get(form->get_header_value("Location").c_str());
    if (!page || page->status != 200 || page->body.find("Development sign-in") == std::string::npos)
        return {};
    const QString state = QUrlQuery(QUrl(QString::fromStdString(form->get_header_value("Location"))))
                              .queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    const auto done =
        client.Post("/v1/auth/dev", httplib::Params{{"state", state.toStdString()}, {"name", name}, {"email", email}});
    return done && done->status == 302 ? QString::fromStdString(done->get_header_value("Location")) : QString();
}

} // namespace

class SignInWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signInThroughTheBrowserAndBack();
    void stopWaitingReturnsToTheButton();
};

void SignInWindowTest::signInThroughTheBrowserAndBack()
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
    AuthManager auth(
        APIEndpoint{service.baseURL(), new QNetworkAccessManager(this)},
        [&](const QUrl &start, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
            return std::make_unique<SystemBrowserSession>(start, scheme, inbox, [&browser, runtime](const QUrl &url) {
                browser = std::thread([url, runtime] {
                    const QString link = browseSignIn(url, "Ann Example", "ann@example.com");
                    QProcess::execute(QStringLiteral(QUILLFERN_CHANNEL_PROBE), {runtime, link});
                });
                return true;
            });
        },
        std::make_unique<QSettings>(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));

    MainWindow window(auth);
    connect(&channel, &InstanceChannel::linksReceived, &window, [&](const QStringList &links) {
        for (const QString &link : links)
            inbox.deliver(QUrl(link));
        window.bringToFront();
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget *signIn = window.findChild<QPushButton *>(QStringLiteral("signIn"));
    QVERIFY(signIn && signIn->isVisible());
    window.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/signin-signed-out.png"));

    QSignalSpy signedIn(&auth, &AuthManager::userChanged);
    QTest::mouseClick(signIn, Qt::LeftButton);
    QVERIFY(auth.isSigningIn());
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("stopWaiting"))->isVisible());
    window.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/signin-waiting.png"));
    QVERIFY(signedIn.wait(15000));
    browser.join();
    QTRY_VERIFY_WITH_TIMEOUT(!auth.isSigningIn(), 5000);
    QVERIFY2(!auth.errorMessage(), qPrintable(auth.errorMessage().value_or(QString())));
    QCOMPARE(auth.user()->name, QStringLiteral("Ann Example"));
    QVERIFY(auth.accessToken());
    QVERIFY(!signIn->isVisible());
    const QList<QLabel *> labels = window.findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                        [](QLabel *l) { return l->isVisible() && l->text().contains(QStringLiteral("Ann Example")); }));
    window.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/signin-signed-in.png"));

    // The session survives a restart: a new manager on the same preferences is signed in at once.
    AuthManager restored(
        APIEndpoint{service.baseURL(), new QNetworkAccessManager(this)}, {},
        std::make_unique<QSettings>(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat));
    QCOMPARE(restored.accessToken(), auth.accessToken());
    QCOMPARE(restored.user(), auth.user());
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
    MainWindow window(auth);
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

#include "auth/desktop/InstanceChannel.h"
#include "auth/desktop/SystemBrowserSession.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quillfern;
using namespace std::chrono_literals;

namespace {

const QUrl startURL(QStringLiteral("http://127.0.0.1:8787/v1/auth/google/start?redirect_uri=x"));

struct Browser {
    QList<QUrl> opened;
    bool works = true;
    SystemBrowserSession::BrowserOpener opener()
    {
        return [this](const QUrl &url) {
            opened.append(url);
            return works;
        };
    }
};

WebAuthenticationResult onlyResult(const QSignalSpy &spy)
{
    return spy.size() == 1 ? spy.first().first().value<WebAuthenticationResult>() : WebAuthenticationResult{};
}

} // namespace

class DesktopSignInTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<WebAuthenticationResult>(); }
    void linksReachOnlyAWaitingSignIn_data();
    void linksReachOnlyAWaitingSignIn();
    void browserThatCannotOpen();
    void waitingEndsAsCancelled_data();
    void waitingEndsAsCancelled();
    void newerSignInReplacesTheWaitingOne();
    void secondProcessHandsItsLinkToTheFirst();
    void deadPrimaryIsReplaced();
};

void DesktopSignInTest::linksReachOnlyAWaitingSignIn_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<QUrl>("link");
    QTest::addColumn<bool>("taken");

    const QUrl callback(QStringLiteral("quillfern://oauth/callback?code=abc"));
    QTest::newRow("waiting sign-in takes the callback") << true << callback << true;
    QTest::newRow("scheme letter case does not matter")
        << true << QUrl(QStringLiteral("QuillFern://oauth/callback?code=1")) << true;
    QTest::newRow("another scheme is ignored") << true << QUrl(QStringLiteral("https://evil.example/?code=1")) << false;
    QTest::newRow("nobody waiting") << false << callback << false;
}

void DesktopSignInTest::linksReachOnlyAWaitingSignIn()
{
    QFETCH(bool, started);
    QFETCH(QUrl, link);
    QFETCH(bool, taken);
    CallbackInbox inbox;
    Browser browser;
    SystemBrowserSession session(startURL, QStringLiteral("quillfern"), inbox, browser.opener());
    QSignalSpy finished(&session, &WebAuthenticationSession::finished);
    if (started) {
        QVERIFY(session.start());
        QCOMPARE(browser.opened, QList<QUrl>{startURL});
        QVERIFY(inbox.isWaiting());
    }
    QCOMPARE(inbox.deliver(link), taken);
    QCOMPARE(finished.size(), taken ? 1 : 0);
    if (taken) {
        QCOMPARE(onlyResult(finished).callbackURL, std::optional(link));
        QVERIFY(!inbox.isWaiting());
        QVERIFY(!inbox.deliver(link)); // a second link finds nobody
        QCOMPARE(finished.size(), 1);
    }
}

void DesktopSignInTest::browserThatCannotOpen()
{
    CallbackInbox inbox;
    Browser browser;
    browser.works = false;
    SystemBrowserSession session(startURL, QStringLiteral("quillfern"), inbox, browser.opener());
    QSignalSpy finished(&session, &WebAuthenticationSession::finished);
    QVERIFY(!session.start());
    QVERIFY(!inbox.isWaiting());
    session.cancel();
    QCOMPARE(finished.size(), 0);
}

void DesktopSignInTest::waitingEndsAsCancelled_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::newRow("stop waiting") << true;
    QTest::newRow("patience runs out") << false;
}

void DesktopSignInTest::waitingEndsAsCancelled()
{
    QFETCH(bool, byUser);
    CallbackInbox inbox;
    Browser browser;
    SystemBrowserSession session(startURL, QStringLiteral("quillfern"), inbox, browser.opener(), 50ms);
    QSignalSpy finished(&session, &WebAuthenticationSession::finished);
    QVERIFY(session.start());
    if (byUser)
        session.cancel();
    else
        QVERIFY(finished.wait(2000));
    QCOMPARE(finished.size(), 1);
    const WebAuthenticationResult result = onlyResult(finished);
    QVERIFY(result.cancelled);
    QVERIFY(!result.callbackURL && !result.error);
    QVERIFY(!inbox.deliver(QUrl(QStringLiteral("quillfern://oauth/callback?code=late"))));
    QTest::qWait(80);
    QCOMPARE(finished.size(), 1);
}

void DesktopSignInTest::newerSignInReplacesTheWaitingOne()
{
    CallbackInbox inbox;
    Browser browser;
    SystemBrowserSession first(startURL, QStringLiteral("quillfern"), inbox, browser.opener());
    SystemBrowserSession second(startURL, QStringLiteral("quillfern"), inbox, browser.opener());
    QSignalSpy firstFinished(&first, &WebAuthenticationSession::finished);
    QSignalSpy secondFinished(&second, &WebAuthenticationSession::finished);
    QVERIFY(first.start());
    QVERIFY(second.start());
    QVERIFY(onlyResult(firstFinished).cancelled);
    QVERIFY(inbox.deliver(QUrl(QStringLiteral("quillfern://oauth/callback?code=2"))));
    QCOMPARE(secondFinished.size(), 1);
}

void DesktopSignInTest::secondProcessHandsItsLinkToTheFirst()
{
    QTemporaryDir folder;
    InstanceChannel primary(folder.path());
    QCOMPARE(primary.claim(), InstanceChannel::Role::Primary);
    QCOMPARE(QFile::permissions(folder.path()) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    QSignalSpy received(&primary, &InstanceChannel::linksReceived);

    const QString link = QStringLiteral("quillfern://oauth/callback?code=abc%2Bdef&state=1");
    QProcess second;
    second.start(QStringLiteral(QUILLFERN_CHANNEL_PROBE), {folder.path(), link});
    QVERIFY(received.wait(5000));
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(received.first().first().toStringList(), QStringList{link});

    // Started without a link it only asks the first one to come forward.
    second.start(QStringLiteral(QUILLFERN_CHANNEL_PROBE), {folder.path()});
    QVERIFY(received.wait(5000));
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(received.last().first().toStringList(), QStringList());
}

void DesktopSignInTest::deadPrimaryIsReplaced()
{
    QTemporaryDir folder;
    QProcess first;
    first.start(QStringLiteral(QUILLFERN_CHANNEL_PROBE), {QStringLiteral("--serve"), folder.path()});
    QVERIFY(first.waitForReadyRead(5000));
    QCOMPARE(first.readLine().trimmed(), QByteArray("primary"));

    InstanceChannel late(folder.path());
    QCOMPARE(late.claim(), InstanceChannel::Role::Secondary);
    first.kill(); // no chance to remove its lock or socket
    QVERIFY(first.waitForFinished(5000));

    InstanceChannel next(folder.path());
    QCOMPARE(next.claim(), InstanceChannel::Role::Primary);
    QSignalSpy received(&next, &InstanceChannel::linksReceived);
    QProcess second;
    second.start(QStringLiteral(QUILLFERN_CHANNEL_PROBE),
                 {folder.path(), QStringLiteral("quillfern://oauth/callback?code=9")});
    QVERIFY(received.wait(5000));
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
}

QTEST_GUILESS_MAIN(DesktopSignInTest)
#include "tst_desktopsignin.moc"

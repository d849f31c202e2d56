#include "auth/desktop/InstanceChannel.h"
#include "auth/desktop/LinkHandler.h"
#include "auth/desktop/SystemBrowserSession.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
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
    void linksOpenThisProgram_data();
    void linksOpenThisProgram();
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

void DesktopSignInTest::linksOpenThisProgram_data()
{
    QTest::addColumn<bool>("underHome"); // no XDG folders set: their defaults under the home folder
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("entry"); // the desktop entry already there; empty for none
    QTest::addColumn<QString>("mimeapps");
    QTest::addColumn<QString>("exec"); // the Exec line written; empty when the entry is left as it was
    QTest::addColumn<QString>("wantedMimeapps");

    const QString program = QStringLiteral("/opt/quillfern/bin/quillfern");
    const auto entryFor = [](const QString &exec) {
        return QStringLiteral("[Desktop Entry]\nType=Application\nName=Quillfern\nExec=%1\n"
                              "MimeType=x-scheme-handler/quillfern;\n")
            .arg(exec);
    };
    const QString ours =
        QStringLiteral("[Default Applications]\nx-scheme-handler/quillfern=io.quillfern.Quillfern.desktop\n"
                       "\n[Added Associations]\nx-scheme-handler/quillfern=io.quillfern.Quillfern.desktop;\n");
    const auto add = [](const char *name, bool underHome, const QString &program, const QString &entry,
                        const QString &mimeapps, const QString &exec, const QString &wanted) {
        QTest::newRow(name) << underHome << program << entry << mimeapps << exec << wanted;
    };
    add("first start", false, program, {}, {}, QStringLiteral("Exec=/opt/quillfern/bin/quillfern %u"), ours);
    add("first start, default folders", true, program, {}, {}, QStringLiteral("Exec=/opt/quillfern/bin/quillfern %u"),
        ours);
    add("a path that needs quoting", false, QStringLiteral("/srv/my apps/50%/$HOME/quillfern"), {}, {},
        QStringLiteral("Exec=\"/srv/my apps/50%%/\\\\$HOME/quillfern\" %u"), ours);
    add("already in place", false, program, entryFor(program + QStringLiteral(" %u")), ours, {}, ours);
    add("quoted by someone else", false, QStringLiteral("/a b/quillfern"),
        entryFor(QStringLiteral("\"/a\\sb/quillfern\" %U")), ours, {}, ours);
    add("another build's entry", false, program, entryFor(QStringLiteral("/home/ann/old/build/app/quillfern %u")), ours,
        QStringLiteral("Exec=/opt/quillfern/bin/quillfern %u"), ours);
    add("an entry without the scheme", false, program,
        QStringLiteral("[Desktop Entry]\nType=Application\nExec=/opt/quillfern/bin/quillfern %u\n"), ours,
        QStringLiteral("Exec=/opt/quillfern/bin/quillfern %u"), ours);
    add("other handlers kept", false, program, entryFor(program + QStringLiteral(" %u")),
        QStringLiteral(
            "# kept\n[Default Applications]\ntext/html=browser.desktop\n"
            "x-scheme-handler/quillfern=old.desktop\n\n"
            "[Added Associations]\nx-scheme-handler/quillfern=old.desktop;\n\n"
            "[Removed Associations]\nx-scheme-handler/quillfern=io.quillfern.Quillfern.desktop;other.desktop;\n"
            "image/png=io.quillfern.Quillfern.desktop;\n"),
        {},
        QStringLiteral(
            "# kept\n[Default Applications]\ntext/html=browser.desktop\n"
            "x-scheme-handler/quillfern=io.quillfern.Quillfern.desktop;old.desktop\n\n"
            "[Added Associations]\nx-scheme-handler/quillfern=io.quillfern.Quillfern.desktop;old.desktop;\n\n"
            "[Removed Associations]\nx-scheme-handler/quillfern=other.desktop;\n"
            "image/png=io.quillfern.Quillfern.desktop;\n"));
}

void DesktopSignInTest::linksOpenThisProgram()
{
    QFETCH(bool, underHome);
    QFETCH(QString, program);
    QFETCH(QString, entry);
    QFETCH(QString, mimeapps);
    QFETCH(QString, exec);
    QFETCH(QString, wantedMimeapps);

    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    const auto cleanup = qScopeGuard([&] {
        qputenv("HOME", savedHome);
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
    });
    qputenv("HOME", home.path().toLocal8Bit());
    const QString data = home.filePath(underHome ? QStringLiteral(".local/share") : QStringLiteral("data"));
    const QString config = home.filePath(underHome ? QStringLiteral(".config") : QStringLiteral("config"));
    if (!underHome) {
        qputenv("XDG_DATA_HOME", data.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    }
    const QString entryPath = data + QStringLiteral("/applications/io.quillfern.Quillfern.desktop");
    const QString mimeappsPath = config + QStringLiteral("/mimeapps.list");
    const auto write = [](const QString &path, const QString &text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    };
    const auto read = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    if (!entry.isEmpty())
        QVERIFY(write(entryPath, entry));
    if (!mimeapps.isEmpty())
        QVERIFY(write(mimeappsPath, mimeapps));

    const LinkHandlerOutcome outcome = registerLinkHandler(program, LinkHandlerPlaces::forUser());
    QVERIFY(!outcome.failed);
    QCOMPARE(outcome.wroteEntry, !exec.isEmpty());
    QCOMPARE(outcome.wroteDefault, mimeapps != wantedMimeapps);
    const QString written = read(entryPath);
    if (exec.isEmpty()) {
        QCOMPARE(written, entry);
    } else {
        // The packaged entry, started with this program.
        QVERIFY2(written.split(QLatin1Char('\n')).contains(exec), qPrintable(written));
        QVERIFY(written.contains(QStringLiteral("\nMimeType=x-scheme-handler/quillfern;\n")));
        QVERIFY(written.contains(QStringLiteral("\nIcon=io.quillfern.Quillfern\n")));
    }
    QCOMPARE(read(mimeappsPath), wantedMimeapps);

    // What is right is left alone.
    const LinkHandlerOutcome again = registerLinkHandler(program, LinkHandlerPlaces::forUser());
    QVERIFY(!again.wroteEntry && !again.wroteDefault && !again.failed);

    // The desktop's own tools agree, where they are installed.
    if (const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        !exec.isEmpty() && !validate.isEmpty()) {
        QProcess check;
        check.start(validate, {entryPath});
        QVERIFY(check.waitForFinished(10000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    }
    if (const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime")); !mime.isEmpty()) {
        QProcess query;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), home.filePath(QStringLiteral("none")));
        environment.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        environment.remove(QStringLiteral("DESKTOP_SESSION"));
        query.setProcessEnvironment(environment);
        query.start(mime,
                    {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/quillfern")});
        QVERIFY(query.waitForFinished(10000));
        QCOMPARE(query.readAllStandardOutput().trimmed(), QByteArray("io.quillfern.Quillfern.desktop"));
    }
}

QTEST_GUILESS_MAIN(DesktopSignInTest)
#include "tst_desktopsignin.moc"

// A newcomer's first run against the real service, in the real window: signed out, the sign-in through
// the browser and back through a second process, a holding typed into the empty table, its price and its
// save, then the app started again on the same preferences, signed in at once with the holding restored.
// Also the demo account's first sign-in, in the language the user chose. The browser is played the way a
// browser asks for pages, so the service ends the sign-in on its page and the app's link is taken from
// there. Every page is saved as a PNG in the build folder.

#include "api/WireCoding.h"
#include "app/ContentView.h"
#include "app/MainWindow.h"
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
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <thread>

using namespace quillfern;

namespace {

const QString browserLanguage = QStringLiteral("ja,en-US;q=0.8");

// What a browser does with the service's development sign-in: the form, filled in and sent, then the page
// that ends the sign-in, whose button carries the app's link. The link, or empty text.
QString browseLikeABrowser(const QUrl &start, const std::string &name, const std::string &email)
{
    httplib::Client client("127.0.0.1", start.port());
    client.set_read_timeout(10);
    const httplib::Headers headers{{"Accept", "text/html,application/xhtml+xml,*/*;q=0.8"},
                                   {"Accept-Language", browserLanguage.toStdString()}};
    const std::string startTarget = (start.path() + QLatin1Char('?') + start.query(QUrl::FullyEncoded)).toStdString();
    const auto started = client.Get(startTarget.c_str(), headers);
    if (!started || started->status != 302)
        return {};
    const auto form = client.Get(started->get_header_value("Location").c_str(), headers);
    static const QRegularExpression stateField(QStringLiteral("name=\"state\" value=\"([^\"]*)\""));
    const auto state = stateField.match(QString::fromStdString(form ? form->body : std::string()));
    if (!state.hasMatch())
        return {};
    const auto ended =
        client.Post("/v1/auth/dev", headers,
                    httplib::Params{{"state", state.captured(1).toStdString()}, {"name", name}, {"email", email}});
    if (!ended || ended->status != 200)
        return {};
    const QString page = QString::fromStdString(ended->body);
    static const QRegularExpression button(QStringLiteral("<a class=\"open\" href=\"([^\"]+)\">"));
    if (!page.contains(QStringLiteral("<html lang=\"ja\">")))
        return {};
    return button.match(page).captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

// One start of the app as main() puts it together, with the browser played by a thread that hands the final
// link to this process through a second one, as the URL-scheme handler would.
class RunningApp {
public:
    RunningApp(const QUrl &service, const QString &runtime, std::string name, std::string email)
        : m_channel(runtime), m_runtime(runtime), m_name(std::move(name)), m_email(std::move(email))
    {
        m_role = m_channel.claim();
        const APIEndpoint endpoint{service, &m_network};
        m_auth = std::make_unique<AuthManager>(
            endpoint,
            [this](const QUrl &start, const QString &scheme) -> std::unique_ptr<WebAuthenticationSession> {
                return std::make_unique<SystemBrowserSession>(start, scheme, m_inbox, [this](const QUrl &url) {
                    m_browser = std::thread([url, this] {
                        const QString link = browseLikeABrowser(url, m_name, m_email);
                        QProcess::execute(QStringLiteral(QUILLFERN_CHANNEL_PROBE), {m_runtime, link});
                    });
                    return true;
                });
            },
            userPreferences());
        m_workspace = std::make_unique<Workspace>(*m_auth, endpoint, userPreferences());
        m_window = std::make_unique<MainWindow>(*m_workspace);
        QObject::connect(&m_channel, &InstanceChannel::linksReceived, m_window.get(), [this](const QStringList &links) {
            for (const QString &link : links)
                m_inbox.deliver(QUrl(link));
            m_window->bringToFront();
        });
        m_window->show();
        m_workspace->start();
    }
    ~RunningApp()
    {
        if (m_browser.joinable())
            m_browser.join();
        m_window.reset();
        m_workspace.reset();
        m_auth.reset();
    }

    InstanceChannel::Role role() const { return m_role; }
    AuthManager &auth() { return *m_auth; }
    Workspace &workspace() { return *m_workspace; }
    MainWindow &window() { return *m_window; }
    ContentView &content() { return *m_window->content(); }

private:
    QNetworkAccessManager m_network;
    InstanceChannel m_channel;
    InstanceChannel::Role m_role = InstanceChannel::Role::Unavailable;
    QString m_runtime;
    std::string m_name, m_email;
    CallbackInbox m_inbox;
    std::thread m_browser;
    std::unique_ptr<AuthManager> m_auth;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<MainWindow> m_window;
};

void screenshot(QWidget &window, const QString &name)
{
    QVERIFY(window.grab().save(QStringLiteral(QUILLFERN_SCREENSHOTS "/") + name + QStringLiteral(".png")));
}

// Every page of the signed-in window, in tab order.
void screenshotPages(RunningApp &app, const QString &prefix)
{
    QTabWidget *tabs = app.content().tabs();
    QVERIFY(tabs);
    const QStringList names{QStringLiteral("holdings"), QStringLiteral("balances"), QStringLiteral("transactions"),
                            QStringLiteral("performance")};
    QCOMPARE(tabs->count(), int(names.size()));
    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        QCoreApplication::processEvents();
        screenshot(app.window(), prefix + QLatin1Char('-') + names[page]);
    }
    tabs->setCurrentIndex(0);
}

bool loaded(Workspace &workspace)
{
    return !workspace.isLoadingPortfolio() && !workspace.gicsClassifications().isEmpty() &&
           !workspace.brokerages().isEmpty() && workspace.auth().accessToken();
}

} // namespace

class FirstRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void signInTypeAHoldingAndFindItAgain();
    void theDemoAccountOpensOnItsPortfolio();

private:
    QString runtime() const { return m_home.filePath(QStringLiteral("runtime")); }

    QTemporaryDir m_home;
    std::unique_ptr<testing::ServiceProcess> m_service;
};

void FirstRunTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The app's own preferences, in a home of the test's: QSettings reads these on first use.
    for (const char *folder : {"config", "data", "cache", "runtime"})
        QVERIFY(QDir(m_home.path()).mkpath(QString::fromLatin1(folder)));
    QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime().toLocal8Bit());

    const QString database = QStringLiteral("sqlite:") + m_home.filePath(QStringLiteral("service.sqlite3"));
    QProcess seed;
    seed.setProcessChannelMode(QProcess::MergedChannels);
    seed.start(QStringLiteral(QUILLFERN_SERVER_BINARY),
               {QStringLiteral("--database"), database, QStringLiteral("--seed-demo"),
                QStringLiteral("demo@quillfern.example")});
    QVERIFY(seed.waitForFinished(60000));
    QVERIFY2(seed.exitCode() == 0, seed.readAll().constData());
    m_service = std::make_unique<testing::ServiceProcess>(database, QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
}

void FirstRunTest::cleanupTestCase()
{
    m_service.reset();
}

void FirstRunTest::signInTypeAHoldingAndFindItAgain()
{
    QString token;
    {
        RunningApp app(m_service->baseURL(), runtime(), "Ann Example", "ann@example.com");
        QCOMPARE(app.role(), InstanceChannel::Role::Primary);
        QVERIFY(QTest::qWaitForWindowExposed(&app.window()));
        auto *signIn = app.window().findChild<QPushButton *>(QStringLiteral("signIn"));
        QVERIFY(signIn && signIn->isVisible());
        // The service signs in with its development form: the button does not promise Google.
        QCOMPARE(app.auth().signInLanguage(), QStringLiteral("en-US"));
        QTRY_COMPARE(app.auth().signInProvider(), SignInProvider::Development);
        QCOMPARE(signIn->text(), QStringLiteral("Continue in your browser"));
        screenshot(app.window(), QStringLiteral("firstrun-signed-out"));

        QSignalSpy pagesShown(&app.content(), &ContentView::pagesShown);
        QTest::mouseClick(signIn, Qt::LeftButton);
        QVERIFY(pagesShown.wait(20000) || pagesShown.count() == 1);
        QCOMPARE(app.auth().user()->email, std::optional(QStringLiteral("ann@example.com")));
        QTRY_VERIFY_WITH_TIMEOUT(loaded(app.workspace()), 15000);
        QVERIFY(app.workspace().rows().isEmpty());
        token = *app.auth().accessToken();

        // The new row's editors take the keyboard: code, average price, quantity, then Return saves.
        HoldingsPage *page = app.content().holdingsPage();
        QVERIFY(page && page->isVisible());
        QTest::mouseClick(page->addRowButton(), Qt::LeftButton);
        QCOMPARE(app.workspace().rows().size(), 1);
        QVERIFY(page->editor().editingRowID());
        QTableView *view = page->table()->view();
        const auto editor = [&](int column) { return view->indexWidget(view->model()->index(0, column)); };
        auto *code = qobject_cast<table::EditingTextCell *>(editor(CodeColumn));
        auto *average = qobject_cast<table::EditingNumberCell *>(editor(AveragePriceColumn));
        auto *quantity = qobject_cast<table::EditingNumberCell *>(editor(QuantityColumn));
        QVERIFY(code && average && quantity);
        QTest::mouseClick(code, Qt::LeftButton);
        QTest::keyClicks(code, QStringLiteral("aapl"));
        average->field()->selectAll();
        QTest::keyClicks(average->field(), QStringLiteral("150.25"));
        quantity->field()->selectAll();
        QTest::keyClicks(quantity->field(), QStringLiteral("12"));
        screenshot(app.window(), QStringLiteral("firstrun-typing"));
        QTest::keyClick(quantity->field(), Qt::Key_Return);
        QVERIFY(!page->editor().editingRowID());

        // The price comes from the service's quotes; the save lands once the debounce has passed.
        QTRY_COMPARE_WITH_TIMEOUT(app.workspace().rows().first().currentPrice, 189.84, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!app.workspace().hasPendingSave() && !app.workspace().isSavingPortfolio() &&
                                     app.workspace().portfolioMatchesSyncedData(),
                                 15000);
        QCOMPARE(page->table()->model()->index(0, CodeColumn).data().toString(), QStringLiteral("AAPL"));
        screenshotPages(app, QStringLiteral("firstrun"));
    }

    // What the service stored, asked for without the app.
    httplib::Client client("127.0.0.1", m_service->port());
    const auto stored = client.Get("/v1/portfolio", {{"Authorization", "Bearer " + token.toStdString()}});
    QVERIFY(stored && stored->status == 200);
    const auto portfolio = decodeJSON<PortfolioResponse>(QByteArray::fromStdString(stored->body));
    QVERIFY(portfolio);
    QCOMPARE(portfolio->holdings.size(), 1);
    const ServerHolding &saved = portfolio->holdings.first();
    QCOMPARE(saved.code, QStringLiteral("AAPL"));
    QCOMPARE(saved.market, QStringLiteral("US"));
    QCOMPARE(saved.averagePrice, 150.25);
    QCOMPARE(saved.quantity, 12.0);
    QCOMPARE(saved.currentPrice, 189.84);

    // The next start reads the stored session: no sign-in, the holding is back.
    RunningApp again(m_service->baseURL(), runtime(), "nobody", "nobody@example.com");
    QCOMPARE(again.role(), InstanceChannel::Role::Primary);
    QVERIFY(again.auth().accessToken());
    QCOMPARE(*again.auth().accessToken(), token);
    QVERIFY(QTest::qWaitForWindowExposed(&again.window()));
    QTRY_VERIFY_WITH_TIMEOUT(loaded(again.workspace()) && again.workspace().rows().size() == 1, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(again.content().holdingsPage() && again.content().holdingsPage()->isVisible(), 5000);
    const auto *signIn = again.window().findChild<QPushButton *>(QStringLiteral("signIn"));
    QVERIFY(!signIn || !signIn->isVisible());
    const AssetRow &restored = again.workspace().rows().first();
    QCOMPARE(restored.code, QStringLiteral("AAPL"));
    QCOMPARE(restored.averagePrice, 150.25);
    QCOMPARE(restored.quantity, 12.0);
    QCOMPARE(again.content().holdingsPage()->table()->model()->index(0, CodeColumn).data().toString(),
             QStringLiteral("AAPL"));
    screenshot(again.window(), QStringLiteral("firstrun-restored"));
}

void FirstRunTest::theDemoAccountOpensOnItsPortfolio()
{
    // A fresh start, signed out: the previous test's session is forgotten with its preferences. The user
    // had chosen Japanese, which the sign-in speaks before anyone is signed in.
    {
        const auto preferences = userPreferences();
        preferences->clear();
        preferences->setValue(Workspace::languageKey, QStringLiteral("ja-JP"));
        preferences->sync();
    }
    RunningApp app(m_service->baseURL(), runtime(), "Demo", "demo@quillfern.example");
    QVERIFY(QTest::qWaitForWindowExposed(&app.window()));
    QVERIFY(!app.auth().accessToken());
    auto *signIn = app.window().findChild<QPushButton *>(QStringLiteral("signIn"));
    QVERIFY(signIn && signIn->isVisible());
    QTRY_COMPARE(app.auth().signInProvider(), SignInProvider::Development);
    const QString japaneseButton = signIn->text();
    QVERIFY2(!japaneseButton.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(japaneseButton));
    screenshot(app.window(), QStringLiteral("demo-signed-out-ja"));
    // Another language chosen while signed out shows at once.
    app.workspace().setLanguageCode(QStringLiteral("ko-KR"));
    QTRY_VERIFY(signIn->text() != japaneseButton);
    QVERIFY(!signIn->text().contains(QRegularExpression(QStringLiteral("[A-Za-z]"))));
    app.workspace().setLanguageCode(QStringLiteral("ja-JP"));
    QTRY_COMPARE(signIn->text(), japaneseButton);
    QSignalSpy pagesShown(&app.content(), &ContentView::pagesShown);
    QTest::mouseClick(signIn, Qt::LeftButton);
    QVERIFY(pagesShown.wait(20000) || pagesShown.count() == 1);
    QTRY_VERIFY_WITH_TIMEOUT(loaded(app.workspace()) && app.workspace().rows().size() >= 28, 15000);
    QVERIFY(app.workspace().cashRows().size() >= 5);
    QTRY_VERIFY_WITH_TIMEOUT(app.workspace().transactions().size() >= 5, 5000);
    QCOMPARE(app.content().holdingsPage()->table()->model()->rowCount(), int(app.workspace().rows().size()));
    // Every seeded row has a price, so the first sign-in asks for none and nothing is waiting to be saved.
    QVERIFY(app.workspace().portfolioMatchesSyncedData());
    QVERIFY(!app.workspace().hasPendingSave());
    screenshotPages(app, QStringLiteral("demo"));

    // English chosen in the window, then signed out: the sign-in speaks English from then on.
    app.workspace().setLanguageCode(QStringLiteral("en-GB"));
    app.workspace().signOut();
    QTRY_VERIFY(signIn->isVisible());
    QCOMPARE(signIn->text(), QStringLiteral("Continue in your browser"));
}

QTEST_MAIN(FirstRunTest)
#include "tst_firstrun.moc"

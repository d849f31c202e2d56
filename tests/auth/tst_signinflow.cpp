#include "api/PortfolioAPI.h"
#include "auth/AuthManager.h"
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace quillfern;
using quillfern::testing::ServiceProcess;

namespace {

QString target(const QUrl &url)
{
    return url.path(QUrl::FullyEncoded) +
           (url.hasQuery() ? QLatin1Char('?') + url.query(QUrl::FullyEncoded) : QString());
}

} // namespace

// Plays the browser for the service's development sign-in: follows the start redirect, reads the form,
// submits a name and email, and reports where the service sends the browser back to.
class DevelopmentSignInSheet : public WebAuthenticationSession {
    Q_OBJECT

public:
    DevelopmentSignInSheet(QUrl startURL, QString scheme, QString name, QString email)
        : m_startURL(std::move(startURL)), m_scheme(std::move(scheme)), m_name(std::move(name)),
          m_email(std::move(email))
    {
    }

    bool start() override
    {
        if (m_startURL.scheme() != QLatin1String("http") || m_startURL.host() != QLatin1String("127.0.0.1"))
            return false;
        QTimer::singleShot(0, this, [this] { report(browse()); });
        return true;
    }

    void cancel() override { report(WebAuthenticationResult{std::nullopt, std::nullopt, true}); }

private:
    static WebAuthenticationResult failure(const QString &what)
    {
        return WebAuthenticationResult{std::nullopt, what, false};
    }

    WebAuthenticationResult browse() const
    {
        httplib::Client client("127.0.0.1", m_startURL.port());
        client.set_connection_timeout(5);
        client.set_read_timeout(10);

        const auto started = client.Get(target(m_startURL).toStdString().c_str());
        if (!started || started->status != 302)
            return failure(QStringLiteral("start answered %1: %2")
                               .arg(started ? started->status : 0)
                               .arg(started ? QString::fromStdString(started->body) : QString()));
        const QUrl formURL = m_startURL.resolved(QUrl(QString::fromStdString(started->get_header_value("Location"))));
        if (formURL.port() != m_startURL.port())
            return failure(QStringLiteral("start sent the browser elsewhere: ") + formURL.toString());

        const auto form = client.Get(target(formURL).toStdString().c_str());
        if (!form || form->status != 200)
            return failure(QStringLiteral("the sign-in form did not load"));
        const QString page = QString::fromStdString(form->body);
        static const QRegularExpression stateField(QStringLiteral("name=\"state\" value=\"([^\"]*)\""));
        static const QRegularExpression action(QStringLiteral("<form method=\"post\" action=\"([^\"]+)\""));
        const auto state = stateField.match(page);
        const auto submitTo = action.match(page);
        if (!state.hasMatch() || !submitTo.hasMatch())
            return failure(QStringLiteral("the form has no state or no action: ") + page);

        const httplib::Params fields{{"state", state.captured(1).toStdString()},
                                     {"name", m_name.toStdString()},
                                     {"email", m_email.toStdString()}};
        const auto submitted = client.Post(submitTo.captured(1).toStdString().c_str(), fields);
        if (!submitted || submitted->status != 302)
            return failure(QStringLiteral("the form was refused"));
        const QUrl callback(QString::fromStdString(submitted->get_header_value("Location")), QUrl::StrictMode);
        if (callback.scheme() != m_scheme)
            return failure(QStringLiteral("the service did not return to the app: ") + callback.toString());
        return WebAuthenticationResult{callback, std::nullopt, false};
    }

    void report(const WebAuthenticationResult &result)
    {
        if (m_reported)
            return;
        m_reported = true;
        Q_EMIT finished(result);
    }

    QUrl m_startURL;
    QString m_scheme;
    QString m_name;
    QString m_email;
    bool m_reported = false;
};

class SignInFlowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void signsInWithTheRealService_data();
    void signsInWithTheRealService();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

void SignInFlowTest::initTestCase()
{
    ::umask(022);
}

void SignInFlowTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_service = std::make_unique<ServiceProcess>(QStringLiteral("sqlite:") +
                                                     m_folder->filePath(QStringLiteral("service.sqlite3")),
                                                 QStringList{QStringLiteral("--quiet")});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
    m_network = std::make_unique<QNetworkAccessManager>();
}

void SignInFlowTest::cleanup()
{
    m_network.reset();
    m_service.reset();
    m_folder.reset();
}

void SignInFlowTest::signsInWithTheRealService_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("shownName");

    QTest::newRow("named") << QStringLiteral("Ann Lee") << QStringLiteral("ann@example.com")
                           << QStringLiteral("Ann Lee");
    QTest::newRow("no name") << QString() << QStringLiteral("bo@example.com") << QStringLiteral("bo@example.com");
    QTest::newRow("name needing escapes") << QString::fromUtf8("Zo\xC3\xAB & Co+1") << QStringLiteral("zoe@example.com")
                                          << QString::fromUtf8("Zo\xC3\xAB & Co+1");
}

void SignInFlowTest::signsInWithTheRealService()
{
    QFETCH(QString, name);
    QFETCH(QString, email);
    QFETCH(QString, shownName);

    const QString settingsPath = m_folder->filePath(QStringLiteral("config/Quillfern/Quillfern.conf"));
    const APIEndpoint endpoint{m_service->baseURL(), m_network.get()};
    const auto sheets = [name, email](const QUrl &startURL, const QString &scheme) {
        return std::make_unique<DevelopmentSignInSheet>(startURL, scheme, name, email);
    };
    auto auth = std::make_unique<AuthManager>(endpoint, sheets,
                                              std::make_unique<QSettings>(settingsPath, QSettings::IniFormat));
    auth->signInWithGoogle();
    QVERIFY(auth->isSigningIn());
    QTRY_VERIFY_WITH_TIMEOUT(!auth->isSigningIn(), 20000);

    QVERIFY2(!auth->errorMessage(), qPrintable(auth->errorMessage().value_or(QString())));
    QVERIFY(auth->user());
    QCOMPARE(auth->user()->name, shownName);
    QCOMPARE(auth->user()->email, std::optional(email));
    QVERIFY(!auth->user()->pictureURL);
    const QString token = auth->accessToken().value_or(QString());
    QVERIFY(!token.isEmpty());

    const auto portfolio = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint, token));
    QVERIFY2(portfolio, portfolio ? "" : qPrintable(portfolio.error().description()));
    QVERIFY(portfolio->holdings.isEmpty());

    const QFileInfo file(settingsPath);
    QVERIFY(file.isFile());
    constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QCOMPARE(file.permissions() & ~(ownerOnly | QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::Permissions());
    QCOMPARE(QSettings(settingsPath, QSettings::IniFormat).value(QStringLiteral("quillfernAccessToken")).toString(),
             token);

    auto restarted = std::make_unique<AuthManager>(endpoint, sheets,
                                                   std::make_unique<QSettings>(settingsPath, QSettings::IniFormat));
    QCOMPARE(restarted->accessToken(), std::optional(token));
    QVERIFY(restarted->user() == auth->user());

    // Signing out revokes the token at the service, not only here.
    restarted->signOut();
    bool revoked = false;
    for (int attempt = 0; attempt < 50 && !revoked; ++attempt) {
        const auto after = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint, token));
        revoked = !after && after.error().apiError() && after.error().apiError()->status == 401;
        if (!revoked)
            QTest::qWait(100);
    }
    QVERIFY(revoked);
    QVERIFY(!QSettings(settingsPath, QSettings::IniFormat).contains(QStringLiteral("quillfernAccessToken")));
}

QTEST_GUILESS_MAIN(SignInFlowTest)
#include "tst_signinflow.moc"

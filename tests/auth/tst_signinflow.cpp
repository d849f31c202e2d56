#include "api/PortfolioAPI.h"
#include "auth/AuthManager.h"
#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

using namespace quillfern;
using quillfern::testing::ServiceProcess;
using quillfern::testing::developmentSignIn;

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
    const auto sheets = developmentSignIn(name, email);
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

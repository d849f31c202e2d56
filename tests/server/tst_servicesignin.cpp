#include "tests/server/ServiceFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

using namespace quillfern;
using namespace quillfern::servicetest;

Q_DECLARE_METATYPE(quillfern::TransactionCreateInput)

class ServiceSignInTest : public ServiceFixture {
    Q_OBJECT

private Q_SLOTS:
    void signInRefusals_data();
    void signInRefusals();
    void codesWorkOnceAndReplayRevokes();
    void codesExpire();
    void logoutRevokesTheToken();
    void databaseHoldsNoUsableSecret();
    void requestRateIsLimited();
};

void ServiceSignInTest::signInRefusals_data()
{
    QTest::addColumn<std::string>("query");
    const std::string challenge = "code_challenge=" + testing::makeVerifier().second.toStdString();
    QTest::newRow("other redirect") << "redirect_uri=https%3A%2F%2Fevil.example%2Fcb&" + challenge +
                                           "&code_challenge_method=S256";
    QTest::newRow("redirect with extra path")
        << "redirect_uri=quillfern%3A%2F%2Foauth%2Fcallback%2Fx&" + challenge + "&code_challenge_method=S256";
    QTest::newRow("plain method") << "redirect_uri=quillfern%3A%2F%2Foauth%2Fcallback&" + challenge +
                                         "&code_challenge_method=plain";
    QTest::newRow("short challenge") << std::string(
        "redirect_uri=quillfern%3A%2F%2Foauth%2Fcallback&code_challenge=abc&code_challenge_method=S256");
}

void ServiceSignInTest::signInRefusals()
{
    QFETCH(std::string, query);
    const Raw answer = raw(m_service->baseURL(), "GET", "/v1/auth/google/start?" + query);
    QCOMPARE(answer.status, 400);
    QVERIFY(answer.headers.find("Location") == answer.headers.end());
    QCOMPARE(answer.headers.find("Referrer-Policy")->second, std::string("no-referrer"));
    QVERIFY(!errorText(answer).isEmpty());
}

void ServiceSignInTest::codesWorkOnceAndReplayRevokes()
{
    const auto signIn =
        testing::devSignIn(m_service->baseURL(), QStringLiteral("Ann"), QStringLiteral("ann@example.com"));
    QVERIFY(signIn);
    // A wrong verifier spends the code: it cannot be retried with the right one.
    const auto wrong = testing::exchangeCode(m_service->baseURL(), signIn->code, testing::makeVerifier().first);
    QCOMPARE(wrong.first, 400);
    QCOMPARE(testing::exchangeCode(m_service->baseURL(), signIn->code, signIn->verifier).first, 400);

    const auto fresh = testing::devSignIn(m_service->baseURL(), QString(), QStringLiteral("ann@example.com"));
    const auto [status, body] = testing::exchangeCode(m_service->baseURL(), fresh->code, fresh->verifier);
    QCOMPARE(status, 200);
    const auto response = decodeJSON<NativeExchangeResponse>(body);
    QVERIFY(response);
    QCOMPARE(response->email, QStringLiteral("ann@example.com"));
    QVERIFY(response->picture.isEmpty());
    QVERIFY(QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), response->accessToken)));

    const auto replay = testing::exchangeCode(m_service->baseURL(), fresh->code, fresh->verifier);
    QCOMPARE(replay.first, 400);
    const auto afterReplay = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), response->accessToken));
    QVERIFY(!afterReplay);
    QCOMPARE(afterReplay.error().apiError()->status, 401);
}

void ServiceSignInTest::codesExpire()
{
    const auto signIn =
        testing::devSignIn(m_service->baseURL(), QStringLiteral("Ann"), QStringLiteral("ann@example.com"));
    QVERIFY(signIn);
    QFile clock(m_folder->filePath(QStringLiteral("clock")));
    QVERIFY(clock.open(QIODevice::WriteOnly));
    clock.write("301");
    clock.close();
    const auto [status, body] = testing::exchangeCode(m_service->baseURL(), signIn->code, signIn->verifier);
    QCOMPARE(status, 400);
    QVERIFY(body.contains("expired"));
}

void ServiceSignInTest::logoutRevokesTheToken()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    QVERIFY(QCoro::waitFor(PortfolioAPI::logout(endpoint(), token)));
    const auto after = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), token));
    QVERIFY(!after);
    QCOMPARE(after.error().apiError()->status, 401);
    // Tokens also lapse after thirty days.
    const QString other = signIn(QStringLiteral("bob@example.com"));
    QFile clock(m_folder->filePath(QStringLiteral("clock")));
    QVERIFY(clock.open(QIODevice::WriteOnly));
    clock.write(QByteArray::number(31 * 24 * 3600));
    clock.close();
    QCOMPARE(QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), other)).error().apiError()->status, 401);
}

void ServiceSignInTest::databaseHoldsNoUsableSecret()
{
    if (onPostgreSQL())
        QSKIP("checked on the SQLite file");
    const auto signIn =
        testing::devSignIn(m_service->baseURL(), QStringLiteral("Ann"), QStringLiteral("ann@example.com"));
    const auto [status, body] = testing::exchangeCode(m_service->baseURL(), signIn->code, signIn->verifier);
    QCOMPARE(status, 200);
    const QString token = decodeJSON<NativeExchangeResponse>(body)->accessToken;
    QCOMPARE(token.size(), 43);
    m_service->stop();
    QFile file(m_folder->filePath(QStringLiteral("service.sqlite3")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray everything = file.readAll();
    QFile wal(m_folder->filePath(QStringLiteral("service.sqlite3-wal")));
    if (wal.open(QIODevice::ReadOnly))
        everything += wal.readAll();
    QVERIFY(!everything.contains(token.toLatin1()));
    QVERIFY(!everything.contains(signIn->code.toLatin1()));
    QVERIFY(everything.contains("ann@example.com"));
}

void ServiceSignInTest::requestRateIsLimited()
{
    m_service.reset();
    QVERIFY(startService({QStringLiteral("--rate-limit"), QStringLiteral("5")}));
    const QString token = signIn(QStringLiteral("ann@example.com"));
    int limited = 0;
    for (int i = 0; i < 8; ++i) {
        const Raw answer = raw(m_service->baseURL(), "GET", "/v1/languages", token);
        if (answer.status == 429) {
            ++limited;
            QVERIFY(std::stoi(answer.headers.find("Retry-After")->second) >= 1);
            QVERIFY(!errorText(answer).isEmpty());
        }
    }
    QCOMPARE(limited, 3);
    // Another user's allowance is their own.
    QCOMPARE(raw(m_service->baseURL(), "GET", "/v1/languages", signIn(QStringLiteral("bob@example.com"))).status, 200);
}

QTEST_GUILESS_MAIN(ServiceSignInTest)
#include "tst_servicesignin.moc"

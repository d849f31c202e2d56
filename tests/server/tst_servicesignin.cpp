#include "tests/server/ServiceFixture.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>
#include <QUrlQuery>

using namespace quillfern;
using namespace quillfern::servicetest;

Q_DECLARE_METATYPE(quillfern::TransactionCreateInput)

class ServiceSignInTest : public ServiceFixture {
    Q_OBJECT

private Q_SLOTS:
    void signInRefusals_data();
    void signInRefusals();
    void browserIsSentBackToTheApp_data();
    void browserIsSentBackToTheApp();
    void codesWorkOnceAndReplayRevokes();
    void codesExpire();
    void logoutRevokesTheToken_data();
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

void ServiceSignInTest::browserIsSentBackToTheApp_data()
{
    QTest::addColumn<bool>("google");           // the service signs in with Google, and the user turns it down
    QTest::addColumn<std::string>("accept");    // "" sends the client's default, */*
    QTest::addColumn<std::string>("languages"); // Accept-Language
    QTest::addColumn<QString>("pageLanguage");  // empty: a bare redirect to the app, no page

    const std::string browser = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
    QTest::newRow("app or script") << false << std::string() << std::string("ja") << QString();
    QTest::newRow("browser without languages") << false << browser << std::string() << QStringLiteral("en");
    QTest::newRow("browser, Japanese") << false << browser << std::string("ja-JP,ja;q=0.9,en;q=0.8")
                                       << QStringLiteral("ja");
    QTest::newRow("browser, Hong Kong") << false << std::string("TEXT/HTML") << std::string("zh-HK, en;q=0.5")
                                        << QStringLiteral("zh-TW");
    QTest::newRow("browser, Chinese") << false << browser << std::string("zh") << QStringLiteral("zh-CN");
    QTest::newRow("browser, weights decide")
        << false << browser << std::string("fr, ko;q=0.7, zh-TW;q=0.8, en;q=0.1") << QStringLiteral("zh-TW");
    QTest::newRow("browser, none of ours")
        << false << browser << std::string("fr-CA, ko;q=0, *;q=0.5") << QStringLiteral("en");
    QTest::newRow("Google turned down, browser") << true << browser << std::string("ko-KR") << QStringLiteral("ko");
    QTest::newRow("Google turned down, app") << true << std::string() << std::string("ko-KR") << QString();
}

void ServiceSignInTest::browserIsSentBackToTheApp()
{
    QFETCH(bool, google);
    QFETCH(std::string, accept);
    QFETCH(std::string, languages);
    QFETCH(QString, pageLanguage);

    if (google) {
        m_service.reset();
        QVERIFY(startService({QStringLiteral("--auth-provider"), QStringLiteral("google"),
                              QStringLiteral("--google-client-id"), QStringLiteral("client"),
                              QStringLiteral("--google-client-secret"), QStringLiteral("secret")}));
    }
    // The app asks which provider the pages lead to before it names one on its button.
    const Raw provider = raw(m_service->baseURL(), "GET", "/v1/auth/provider");
    QCOMPARE(provider.status, 200);
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(provider.body)).object(),
             QJsonObject({{QStringLiteral("provider"), google ? QStringLiteral("google") : QStringLiteral("dev")}}));

    const auto [verifier, challenge] = testing::makeVerifier();
    const Raw started = raw(m_service->baseURL(), "GET",
                            "/v1/auth/google/start?redirect_uri=quillfern%3A%2F%2Foauth%2Fcallback&code_challenge=" +
                                challenge.toStdString() + "&code_challenge_method=S256");
    QCOMPARE(started.status, 302);
    const std::string state = QUrlQuery(QUrl(QString::fromStdString(header(started, "Location"))))
                                  .queryItemValue(QStringLiteral("state"))
                                  .toStdString();
    QVERIFY(!state.empty());

    httplib::Headers headers{{"Accept-Language", languages}};
    if (!accept.empty())
        headers.emplace("Accept", accept);
    httplib::Client client("127.0.0.1", m_service->port());
    const httplib::Result answer =
        google ? client.Get(("/v1/auth/google/callback?error=access_denied&state=" + state).c_str(), headers)
               : client.Post("/v1/auth/dev", headers,
                             httplib::Params{{"state", state}, {"name", "Ann"}, {"email", "ann@example.com"}});
    QVERIFY(answer);
    QCOMPARE(answer->get_header_value("Referrer-Policy"), std::string("no-referrer"));

    QString link;
    if (pageLanguage.isEmpty()) {
        QCOMPARE(answer->status, 302);
        link = QString::fromStdString(answer->get_header_value("Location"));
    } else {
        // The page says the sign-in is over, in the browser's language, and opens the app's link itself.
        QCOMPARE(answer->status, 200);
        QVERIFY(!answer->has_header("Location"));
        QVERIFY(answer->get_header_value("Content-Type").starts_with("text/html"));
        const QString page = QString::fromStdString(answer->body);
        QVERIFY2(page.contains(QStringLiteral("<html lang=\"%1\">").arg(pageLanguage)), qPrintable(page));
        QVERIFY(!page.contains(QStringLiteral("<form")));
        static const QRegularExpression refresh(
            QStringLiteral("<meta http-equiv=\"refresh\" content=\"0;url=([^\"]+)\">"));
        static const QRegularExpression button(QStringLiteral("<a class=\"open\" href=\"([^\"]+)\">([^<]+)</a>"));
        const auto refreshTo = refresh.match(page);
        const auto clickTo = button.match(page);
        QVERIFY(refreshTo.hasMatch() && clickTo.hasMatch());
        QCOMPARE(refreshTo.captured(1), clickTo.captured(1));
        QVERIFY(clickTo.captured(2).contains(QStringLiteral("Quillfern")));
        link = clickTo.captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        static const QRegularExpression heading(QStringLiteral("<h1>([^<]+)</h1>"));
        const QString said = heading.match(page).captured(1);
        if (pageLanguage == u"en")
            QCOMPARE(said, google ? QStringLiteral("Sign-in was not completed") : QStringLiteral("You're signed in"));
        else
            QVERIFY2(!said.isEmpty() && !said.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                     qPrintable(said));
    }

    // Either way the app gets the same link: a code it can exchange, or the reason there is none.
    const QUrl callback(link, QUrl::StrictMode);
    QCOMPARE(callback.scheme() + QStringLiteral("://") + callback.host() + callback.path(),
             QStringLiteral("quillfern://oauth/callback"));
    const QUrlQuery items(callback);
    if (google) {
        QCOMPARE(items.queryItemValue(QStringLiteral("error")), QStringLiteral("access_denied"));
        QVERIFY(!items.hasQueryItem(QStringLiteral("code")));
    } else {
        const QString code = items.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        QCOMPARE(testing::exchangeCode(m_service->baseURL(), code, verifier).first, 200);
    }
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

void ServiceSignInTest::logoutRevokesTheToken_data()
{
    QTest::addColumn<bool>("otherReplica");
    QTest::newRow("signed out where the token is read") << false;
    QTest::newRow("signed out at another replica") << true;
}

// A replica that read a token a moment ago may answer reads without asking the database again; a sign-out,
// here or at another replica, still ends the token there at once, not when that memory runs out (a minute).
void ServiceSignInTest::logoutRevokesTheToken()
{
    QFETCH(bool, otherReplica);
    if (otherReplica && !onPostgreSQL())
        QSKIP("replicas share a PostgreSQL database");
    const QString clockFile = m_folder->filePath(QStringLiteral("clock"));
    testing::ServiceProcess reader(m_databaseURL,
                                   {QStringLiteral("--quiet"), QStringLiteral("--session-cache-seconds"),
                                    QStringLiteral("60"), QStringLiteral("--clock-offset-file"), clockFile});
    QVERIFY2(reader.start(), qPrintable(reader.output()));
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const auto read = [&] { return raw(reader.baseURL(), "GET", "/v1/languages", token).status; };
    QCOMPARE(read(), 200);
    QCOMPARE(read(), 200);

    const APIEndpoint signingOut{otherReplica ? m_service->baseURL() : reader.baseURL(), m_network.get()};
    QVERIFY(QCoro::waitFor(PortfolioAPI::logout(signingOut, token)));
    if (otherReplica)
        QTRY_COMPARE_WITH_TIMEOUT(read(), 401, 3000);
    QCOMPARE(read(), 401);
    QCOMPARE(raw(reader.baseURL(), "GET", "/v1/portfolio", token).status, 401);

    // Tokens also lapse after thirty days, remembered or not.
    const QString other = signIn(QStringLiteral("bob@example.com"));
    QCOMPARE(raw(reader.baseURL(), "GET", "/v1/languages", other).status, 200);
    QFile clock(clockFile);
    QVERIFY(clock.open(QIODevice::WriteOnly));
    clock.write(QByteArray::number(31 * 24 * 3600));
    clock.close();
    QCOMPARE(raw(reader.baseURL(), "GET", "/v1/languages", other).status, 401);
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

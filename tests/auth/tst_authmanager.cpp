#include "auth/AuthManager.h"
#include "tests/auth/PKCEExample.h"
#include "tests/auth/ScriptedSheet.h"
#include "tests/support/ScriptedServer.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quillfern;
using namespace quillfern::testing;
using namespace std::chrono_literals;

using OptionalText = std::optional<QString>;
using OptionalBytes = std::optional<QByteArray>;
using OptionalUser = std::optional<AuthManager::User>;

Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(OptionalBytes)
Q_DECLARE_METATYPE(OptionalUser)
Q_DECLARE_METATYPE(quillfern::testing::ScriptedSheet::Script)
Q_DECLARE_METATYPE(quillfern::SignInProvider)

namespace {

const QString tokenKey = QStringLiteral("quillfernAccessToken");
const QString userKey = QStringLiteral("quillfernAuthenticatedUser");
const QString exchangePath = QStringLiteral("/v1/auth/native/exchange");

RandomBytes exampleRandom()
{
    return [](qsizetype count) { return count == exampleBytes.size() ? std::optional(exampleBytes) : std::nullopt; };
}

QString describe(const OptionalText &text)
{
    return text ? QLatin1Char('"') + *text + QLatin1Char('"') : QStringLiteral("<absent>");
}

QString describe(const OptionalUser &user)
{
    if (!user)
        return QStringLiteral("<signed out>");
    return QStringLiteral("name=%1 email=%2 picture=%3")
        .arg(user->name, describe(user->email),
             user->pictureURL ? user->pictureURL->toString(QUrl::FullyEncoded) : QStringLiteral("<absent>"));
}

ScriptedSheet::Script reporting(WebAuthenticationResult result)
{
    return ScriptedSheet::Script{true, true, std::move(result)};
}

ScriptedSheet::Script returningTo(const QString &callback)
{
    return reporting(WebAuthenticationResult{QUrl(callback, QUrl::StrictMode), std::nullopt, false});
}

QByteArray exchangeAnswer(const QString &name, const QString &email, const QString &picture)
{
    const QJsonObject object{{QStringLiteral("access_token"), QStringLiteral("service-token-1")},
                             {QStringLiteral("name"), name},
                             {QStringLiteral("email"), email},
                             {QStringLiteral("picture"), picture}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

AuthManager::User person(QString name, QString email, std::optional<QString> picture = std::nullopt)
{
    return AuthManager::User{std::move(name), std::move(email),
                             picture ? std::optional(QUrl(*picture)) : std::optional<QUrl>()};
}

QFileDevice::Permissions othersAndGroup()
{
    return QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
           QFileDevice::WriteOther | QFileDevice::ExeOther;
}

} // namespace

class AuthManagerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void signInOutcomes_data();
    void signInOutcomes();
    void restoreAtStartThenSignOut_data();
    void restoreAtStartThenSignOut();
    void aSignInUnderWay_data();
    void aSignInUnderWay();
    void providerAndLanguageShapeTheTexts_data();
    void providerAndLanguageShapeTheTexts();
    void destroyedManagerAbortsTheExchange();

private:
    // In a folder of the app's own, as the per-user preferences are.
    QString settingsPath() const { return m_folder->filePath(QStringLiteral("config/Quillfern/Quillfern.conf")); }
    std::unique_ptr<QSettings> settings() const
    {
        return std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    }
    // Only the file and the folder it lives in are the app's own; the folders above keep the usual mode.
    bool preferencesAreOwnerOnly() const
    {
        const QFileInfo file(settingsPath());
        const QFileInfo folder(file.absolutePath());
        return !(file.permissions() & othersAndGroup()) && !(folder.permissions() & othersAndGroup()) &&
               QFileInfo(folder.absolutePath()).permissions().testFlag(QFileDevice::ReadOther);
    }
    std::unique_ptr<AuthManager> manager(ScriptedSheet::Script script, QUrl base = {},
                                         std::chrono::milliseconds timeout = 10s)
    {
        m_sheets = std::make_shared<SheetLog>();
        auto made = std::make_unique<AuthManager>(
            APIEndpoint{base.isEmpty() ? m_server->baseURL() : base, m_network.get(), timeout},
            testing::scriptedSheets(m_sheets, std::move(script)), settings());
        made->setRandomSource(exampleRandom());
        return made;
    }
    void answerExchanges()
    {
        m_server->on(
            "POST", exchangePath.toStdString(),
            {200, exchangeAnswer(QStringLiteral("Ann"), QStringLiteral("a@example.com"), QString()).toStdString()});
    }
    std::vector<ScriptedServer::Received> exchanges() const
    {
        std::vector<ScriptedServer::Received> found;
        for (const auto &request : m_server->received()) {
            if (request.path == exchangePath.toStdString())
                found.push_back(request);
        }
        return found;
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::shared_ptr<SheetLog> m_sheets;
};

void AuthManagerTest::initTestCase()
{
    // The usual default, under which a file or folder made without care is readable by everyone.
    ::umask(022);
}

void AuthManagerTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_server = std::make_unique<ScriptedServer>();
    m_network = std::make_unique<QNetworkAccessManager>();
}

void AuthManagerTest::cleanup()
{
    m_network.reset();
    m_server.reset();
    m_folder.reset();
}

void AuthManagerTest::signInOutcomes_data()
{
    QTest::addColumn<bool>("randomFails");
    // "" for the scripted server, "unreachable", or "relative" for a base URL that is no URL
    QTest::addColumn<QString>("base");
    QTest::addColumn<ScriptedSheet::Script>("sheet");
    QTest::addColumn<int>("exchangeStatus"); // 0: the exchange never answers
    QTest::addColumn<QByteArray>("exchangeBody");
    QTest::addColumn<OptionalText>("sentCode"); // the code the exchange must carry, or no exchange at all
    QTest::addColumn<OptionalText>("message");
    QTest::addColumn<OptionalUser>("user");

    const QString callback = QStringLiteral("quillfern://oauth/callback");
    const QByteArray ann = exchangeAnswer(QStringLiteral("Ann Lee"), QStringLiteral("ann@example.com"),
                                          QStringLiteral("https://images.example.com/ann.png?size=96"));
    const ScriptedSheet::Script goodCallback = returningTo(callback + QStringLiteral("?code=one-time-code"));
    const QString bad = QStringLiteral("Unable to complete sign in: ");
    const OptionalText invalidCode(QStringLiteral("The login response did not include a valid authorization code."));
    const auto add = [](const char *name, bool randomFails, const QString &base, const ScriptedSheet::Script &sheet,
                        int status, const QByteArray &body, const OptionalText &sentCode, const OptionalText &message,
                        const OptionalUser &user) {
        QTest::newRow(name) << randomFails << base << sheet << status << body << sentCode << message << user;
    };
    // Ends before any exchange is sent.
    const auto stopped = [&](const char *name, const ScriptedSheet::Script &sheet, const OptionalText &message,
                             const QString &base = {}, bool randomFails = false) {
        add(name, randomFails, base, sheet, 200, ann, std::nullopt, message, std::nullopt);
    };
    const auto callbackTo = [&](const char *query) { return returningTo(callback + QString::fromUtf8(query)); };
    // The exchange of the one-time code is sent and answered.
    const auto exchanged = [&](const char *name, int status, const QByteArray &body, const OptionalText &message,
                               const OptionalUser &user = std::nullopt) {
        add(name, false, {}, goodCallback, status, body, QStringLiteral("one-time-code"), message, user);
    };
    const auto answer = [](const QString &name, const QString &picture) {
        return exchangeAnswer(name, QStringLiteral("ann@example.com"), picture);
    };

    stopped("random source fails", goodCallback, QStringLiteral("Unable to create a secure login request."), {}, true);
    // The manager was not told of a provider, so nothing names Google.
    stopped("start URL cannot be formed", goodCallback, QStringLiteral("Unable to create the sign-in URL."),
            QStringLiteral("relative"));
    stopped("no sheet", ScriptedSheet::Script{false, true, std::nullopt},
            QStringLiteral("Unable to open the sign-in page in your browser."));
    stopped("sheet does not start", ScriptedSheet::Script{true, false, std::nullopt},
            QStringLiteral("Unable to open the sign-in page in your browser."));
    stopped("user cancels", reporting(WebAuthenticationResult{std::nullopt, std::nullopt, true}), std::nullopt);
    stopped(
        "sheet fails",
        reporting(WebAuthenticationResult{std::nullopt, QStringLiteral("The browser could not be started."), false}),
        QStringLiteral("The browser could not be started."));
    stopped("sheet returns nothing", reporting(WebAuthenticationResult{}),
            QStringLiteral("The server did not return a login result."));
    stopped("error only", callbackTo("?error=access_denied&code=ignored"), QStringLiteral("access_denied"));
    stopped("error with description",
            callbackTo("?error=access_denied&error_description=Caf%C3%A9+sign-in+was%2Bstopped."),
            QString::fromUtf8("Caf\xC3\xA9 sign-in was stopped."));
    stopped("empty code", callbackTo("?code="), invalidCode);
    add("two codes, the last is used", false, {}, callbackTo("?code=first&code=second%2Dpart"), 200, ann,
        QStringLiteral("second-part"), std::nullopt,
        person(QStringLiteral("Ann Lee"), QStringLiteral("ann@example.com"),
               QStringLiteral("https://images.example.com/ann.png?size=96")));
    exchanged("exchange refused", 400, R"({"error":"The sign-in code has expired."})",
              bad + QStringLiteral("The portfolio server returned an unreadable response."));
    exchanged(
        "exchange answers HTML", 200, "<html>signed in</html>",
        bad + QStringLiteral("The data couldn't be read because it isn't valid JSON (unexpected '<' at offset 0)."));
    exchanged("exchange with relative picture", 200, answer(QStringLiteral("Ann"), QStringLiteral("ann.png")),
              std::nullopt, person(QStringLiteral("Ann"), QStringLiteral("ann@example.com")));
    exchanged("exchange with empty name", 200, answer(QString(), QString()), std::nullopt,
              person(QStringLiteral("ann@example.com"), QStringLiteral("ann@example.com")));
    exchanged("exchange never answers", 0, {}, bad + QStringLiteral("The request timed out."));
    stopped("service unreachable", goodCallback, bad + QStringLiteral("Could not connect to the server."),
            QStringLiteral("unreachable"));
}

void AuthManagerTest::signInOutcomes()
{
    QFETCH(bool, randomFails);
    QFETCH(QString, base);
    QFETCH(ScriptedSheet::Script, sheet);
    QFETCH(int, exchangeStatus);
    QFETCH(QByteArray, exchangeBody);
    QFETCH(OptionalText, sentCode);
    QFETCH(OptionalText, message);
    QFETCH(OptionalUser, user);

    ScriptedServer::Reply reply;
    reply.status = exchangeStatus;
    reply.body = exchangeBody.toStdString();
    reply.hang = exchangeStatus == 0;
    m_server->on("POST", exchangePath.toStdString(), reply);

    QUrl baseURL = m_server->baseURL();
    if (base == QLatin1String("relative")) {
        baseURL = QUrl(QStringLiteral("service.example"));
    } else if (base == QLatin1String("unreachable")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        baseURL = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    }
    const bool sheetExpected = !randomFails && base != QLatin1String("relative");
    const bool sheetRuns = sheetExpected && sheet.created && sheet.starts;

    auto auth = manager(sheet, baseURL, exchangeStatus == 0 ? 300ms : 10s);
    if (randomFails)
        auth->setRandomSource([](qsizetype) { return std::nullopt; });
    QSignalSpy signingIn(auth.get(), &AuthManager::isSigningInChanged);
    QSignalSpy tokens(auth.get(), &AuthManager::accessTokenChanged);
    QSignalSpy users(auth.get(), &AuthManager::userChanged);

    auth->signInWithGoogle();
    QCOMPARE(auth->isSigningIn(), sheetRuns);
    QTRY_VERIFY_WITH_TIMEOUT(!auth->isSigningIn(), 10000);
    QCOMPARE(signingIn.size(), sheetExpected ? 2 : 0);
    QCOMPARE(m_sheets->startURLs.size(), sheetExpected ? 1 : 0);
    if (sheetExpected) {
        QCOMPARE(m_sheets->startURLs.first().toString(QUrl::FullyEncoded),
                 baseURL.toString() +
                     QStringLiteral("/v1/auth/google/start?redirect_uri=quillfern%3A%2F%2Foauth%2Fcallback"
                                    "&code_challenge=") +
                     exampleChallenge + QStringLiteral("&code_challenge_method=S256"));
        QCOMPARE(m_sheets->schemes.first(), QStringLiteral("quillfern"));
    }

    QCOMPARE(describe(auth->errorMessage()), describe(message));
    QCOMPARE(describe(auth->user()), describe(user));
    QCOMPARE(auth->accessToken().has_value(), user.has_value());
    QCOMPARE(tokens.size(), user ? 1 : 0);
    QCOMPARE(users.size(), user ? 1 : 0);

    const auto sent = exchanges();
    QCOMPARE(sent.size(), size_t(sentCode ? 1 : 0));
    if (sentCode) {
        const auto &request = sent.front();
        QCOMPARE(request.method, std::string("POST"));
        QCOMPARE(request.header("Content-Type"), std::string("application/json"));
        QVERIFY(!request.hasHeader("Authorization"));
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
        QCOMPARE(body.keys(), (QStringList{QStringLiteral("code"), QStringLiteral("code_verifier")}));
        QCOMPARE(body.value(QStringLiteral("code")).toString(), *sentCode);
        QCOMPARE(body.value(QStringLiteral("code_verifier")).toString(), exampleVerifier);
    }

    // What was kept, read back the way the next start will read it.
    auto stored = settings();
    QCOMPARE(stored->contains(tokenKey), user.has_value());
    QCOMPARE(stored->contains(userKey), user.has_value());
    if (user) {
        QCOMPARE(auth->accessToken(), OptionalText(QStringLiteral("service-token-1")));
        QCOMPARE(stored->value(tokenKey).toString(), QStringLiteral("service-token-1"));
        QVERIFY(preferencesAreOwnerOnly());
        auto again = manager(ScriptedSheet::Script{});
        QCOMPARE(describe(again->user()), describe(user));
        QCOMPARE(again->accessToken(), auth->accessToken());
    } else if (sheetRuns && message) {
        // Another attempt clears the last message at once, and meets the same end.
        QSignalSpy messages(auth.get(), &AuthManager::errorMessageChanged);
        auth->signInWithGoogle();
        QVERIFY(auth->isSigningIn());
        QVERIFY(!auth->errorMessage());
        QCOMPARE(messages.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(describe(auth->errorMessage()), describe(message), 10000);
    }
}

void AuthManagerTest::restoreAtStartThenSignOut_data()
{
    QTest::addColumn<OptionalText>("token");
    QTest::addColumn<OptionalBytes>("storedUser");
    QTest::addColumn<OptionalUser>("user");

    const auto add = [](const char *name, const OptionalBytes &stored, const OptionalUser &user = std::nullopt,
                        const OptionalText &kept = QStringLiteral("kept-token")) {
        QTest::newRow(name) << kept << stored << user;
    };
    const auto ann = [](std::optional<QString> email = std::nullopt) {
        return AuthManager::User{QStringLiteral("Ann"), std::move(email), std::nullopt};
    };
    add("token and full user",
        R"({"name":"Ann","email":"ann@example.com","pictureURL":"https://images.example.com/a.png"})",
        person(QStringLiteral("Ann"), QStringLiteral("ann@example.com"),
               QStringLiteral("https://images.example.com/a.png")));
    add("name only", R"({"name":"Ann"})", ann());
    add("nulls are absent", R"({"name":"Ann","email":null,"pictureURL":null})", ann());
    add("picture that is no URL", R"({"name":"Ann","email":"","pictureURL":"http://exa mple.com/a.png"})",
        ann(QString()));
    add("token without user", std::nullopt);
    add("user without token", R"({"name":"Ann"})", std::nullopt, std::nullopt);
    add("user is not JSON", "not json");
    add("user is a list", R"([{"name":"Ann"}])");
    add("name is a number", R"({"name":7})");
    add("email is a number", R"({"name":"Ann","email":7})");
}

void AuthManagerTest::restoreAtStartThenSignOut()
{
    QFETCH(OptionalText, token);
    QFETCH(OptionalBytes, storedUser);
    QFETCH(OptionalUser, user);

    {
        auto seed = settings();
        if (token)
            seed->setValue(tokenKey, *token);
        if (storedUser)
            seed->setValue(userKey, *storedUser);
        seed->sync();
    }
    auto auth = manager(ScriptedSheet::Script{});
    QCOMPARE(describe(auth->user()), describe(user));
    QCOMPARE(describe(auth->accessToken()), describe(user ? token : std::nullopt));
    QVERIFY(!auth->isSigningIn());
    QVERIFY(!auth->errorMessage());

    // Nothing is taken out of the store, whether or not it could be used.
    auto after = settings();
    QCOMPARE(after->contains(tokenKey), token.has_value());
    QCOMPARE(after->contains(userKey), storedUser.has_value());
    if (token)
        QCOMPARE(after->value(tokenKey).toString(), *token);
    if (storedUser)
        QCOMPARE(after->value(userKey).toByteArray(), *storedUser);

    // Signing out empties the store and asks the service to revoke a restored token, even when the manager
    // goes at once. Its write also closes a file someone opened up.
    QVERIFY(QFile::setPermissions(settingsPath(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    m_server->on("POST", "/v1/auth/logout", ScriptedServer::Reply{204, {}});
    QSignalSpy users(auth.get(), &AuthManager::userChanged);
    QSignalSpy tokens(auth.get(), &AuthManager::accessTokenChanged);
    auth->signOut();
    QVERIFY(!auth->user());
    QVERIFY(!auth->accessToken());
    QCOMPARE(users.size(), user ? 1 : 0);
    QCOMPARE(tokens.size(), user ? 1 : 0);
    QCOMPARE(m_network->findChildren<QNetworkReply *>().size(), user ? 1 : 0);
    auth.reset();
    QVERIFY(!settings()->contains(tokenKey));
    QVERIFY(!settings()->contains(userKey));
    QCOMPARE(QFileInfo(settingsPath()).permissions() & othersAndGroup(), QFileDevice::Permissions());
    if (user) {
        QTRY_COMPARE_WITH_TIMEOUT(m_server->received().size(), size_t(1), 5000);
        const auto logout = m_server->received().front();
        QCOMPARE(logout.method, std::string("POST"));
        QCOMPARE(logout.path, std::string("/v1/auth/logout"));
        QCOMPARE(logout.header("Authorization"), "Bearer " + token->toStdString());
    }
}

void AuthManagerTest::aSignInUnderWay_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("stop waiting") << QStringLiteral("cancel");
    QTest::newRow("sign out") << QStringLiteral("sign out");
    QTest::newRow("the sheet returns") << QStringLiteral("callback");
}

void AuthManagerTest::aSignInUnderWay()
{
    QFETCH(QString, ending);
    answerExchanges();
    auto auth = manager(ScriptedSheet::Script{true, true, std::nullopt});
    auth->signInWithGoogle();
    QVERIFY(auth->isSigningIn());
    QPointer<ScriptedSheet> sheet = m_sheets->last;
    QVERIFY(sheet);
    // A second sign-in while one runs opens nothing.
    auth->signInWithGoogle();
    QCOMPARE(m_sheets->startURLs.size(), 1);
    QVERIFY(m_sheets->last == sheet);

    const bool returns = ending == QLatin1String("callback");
    if (returns)
        Q_EMIT sheet->finished(
            WebAuthenticationResult{QUrl(QStringLiteral("quillfern://oauth/callback?code=c0de")), std::nullopt, false});
    else if (ending == QLatin1String("sign out"))
        auth->signOut();
    else
        auth->cancelSignIn();
    QCOMPARE(sheet->cancelCalls, returns ? 0 : 1);
    QTRY_VERIFY_WITH_TIMEOUT(!auth->isSigningIn(), 10000);
    QVERIFY(!auth->errorMessage());
    QCOMPARE(auth->user().has_value(), returns);
    QCOMPARE(exchanges().size(), size_t(returns ? 1 : 0));
    // The manager lets go of a finished sheet.
    QTRY_VERIFY_WITH_TIMEOUT(!sheet, 5000);
}

void AuthManagerTest::providerAndLanguageShapeTheTexts_data()
{
    QTest::addColumn<int>("status"); // of GET /v1/auth/provider; 0 never answers
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<SignInProvider>("provider");
    QTest::addColumn<QString>("language"); // the window's stored choice; empty for none
    QTest::addColumn<QString>("english");  // why the sign-in did not start, in English

    const QString google = QStringLiteral("Unable to open the Google sign-in window.");
    const QString browser = QStringLiteral("Unable to open the sign-in page in your browser.");
    const auto add = [&](const char *name, int status, const QByteArray &body, SignInProvider provider,
                         const QString &language = {}) {
        QTest::newRow(name) << status << body << provider << language
                            << (provider == SignInProvider::Google ? google : browser);
    };
    add("Google", 200, R"({"provider":"google"})", SignInProvider::Google);
    add("development, in Korean", 200, R"({"provider":"dev","more":[1]})", SignInProvider::Development,
        QStringLiteral("ko-KR"));
    add("a provider this app does not know", 200, R"({"provider":"apple"})", SignInProvider::Unknown,
        QStringLiteral("zh-CN"));
    add("a key given twice", 200, R"({"provider":"google","provider":"dev"})", SignInProvider::Unknown);
    add("not JSON", 200, "google", SignInProvider::Unknown);
    add("older service", 404, R"({"error":"There is nothing at this address."})", SignInProvider::Unknown);
    add("no answer", 0, {}, SignInProvider::Unknown);
}

void AuthManagerTest::providerAndLanguageShapeTheTexts()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(SignInProvider, provider);
    QFETCH(QString, language);
    QFETCH(QString, english);

    if (!language.isEmpty()) {
        auto seed = settings();
        seed->setValue(AuthManager::languageKey, language);
    }
    const std::string path = "/v1/auth/provider";
    m_server->on("GET", path, {200, R"({"provider":"google"})"});
    auto auth = manager(ScriptedSheet::Script{true, false, std::nullopt}, {}, 300ms);
    QCOMPARE(auth->signInProvider(), SignInProvider::Unknown);
    auth->checkSignInProvider();
    QTRY_COMPARE_WITH_TIMEOUT(auth->signInProvider(), SignInProvider::Google, 5000);

    // Asked again, as when the sign-in view comes back: the latest answer counts, and one question is
    // asked at a time.
    ScriptedServer::Reply reply{status, body.toStdString()};
    reply.hang = status == 0;
    m_server->on("GET", path, reply);
    QSignalSpy changes(auth.get(), &AuthManager::signInProviderChanged);
    auth->checkSignInProvider();
    auth->checkSignInProvider();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->received().size(), size_t(2), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(changes.size(), provider == SignInProvider::Google ? 0 : 1, 5000);
    QCOMPARE(auth->signInProvider(), provider);
    for (const auto &request : m_server->received()) {
        QCOMPARE(request.method, std::string("GET"));
        QVERIFY(!request.hasHeader("Authorization"));
    }

    // Only a service that signs in with Google has its name on the button and in the failures.
    const QString spoken = auth->signInLanguage();
    const SignInPrompt prompt = signInPrompt(provider, false, spoken);
    QCOMPARE(prompt.buttonName.contains(QStringLiteral("Google")), provider == SignInProvider::Google);
    QVERIFY(prompt.button.endsWith(prompt.buttonName));
    auth->signInWithGoogle();
    QVERIFY(!auth->isSigningIn());
    const QString message = auth->errorMessage().value_or(QString());
    QCOMPARE(message.contains(QStringLiteral("Google")), provider == SignInProvider::Google);

    // The stored choice is spoken when the app has it; a change of choice shows at once.
    QCOMPARE(spoken, language.isEmpty() ? QStringLiteral("en-US") : language);
    QCOMPARE(message == english, spoken.startsWith(QLatin1String("en")));
    settings()->setValue(AuthManager::languageKey, QStringLiteral("en-GB"));
    QCOMPARE(auth->errorMessage(), OptionalText(english));
}

void AuthManagerTest::destroyedManagerAbortsTheExchange()
{
    ScriptedServer::Reply hang;
    hang.hang = true;
    m_server->on("POST", exchangePath.toStdString(), hang);
    auto auth = manager(returningTo(QStringLiteral("quillfern://oauth/callback?code=c0de")));
    auth->signInWithGoogle();
    QTRY_COMPARE_WITH_TIMEOUT(exchanges().size(), size_t(1), 5000);
    QCOMPARE(m_network->findChildren<QNetworkReply *>().size(), 1);

    auth.reset();
    QTRY_VERIFY_WITH_TIMEOUT(m_network->findChildren<QNetworkReply *>().isEmpty(), 5000);
    QVERIFY(!settings()->contains(tokenKey));
}

QTEST_GUILESS_MAIN(AuthManagerTest)
#include "tst_authmanager.moc"

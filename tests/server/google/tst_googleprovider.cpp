#include "tests/server/google/GoogleProviderTest.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <limits>
#include <thread>

using namespace quillfern::server;

namespace quillfern::testing {
std::string why(const Outcome &outcome)
{
    const auto *failure = std::get_if<std::string>(&outcome);
    return failure ? *failure : std::string("signed in");
}

// A failure must say why, in a sentence, and keep every credential of the exchange out of it.
void expectFailure(const Outcome &outcome, const QString &reason, const QByteArray &token)
{
    QVERIFY2(std::holds_alternative<std::string>(outcome), "sign-in succeeded but should have failed");
    const QString sentence = q(std::get<std::string>(outcome));
    QVERIFY2(sentence.contains(reason, Qt::CaseInsensitive), qPrintable(sentence));
    QVERIFY2(sentence.endsWith(u'.'), qPrintable(sentence));
    for (const QString &secret : {q(code), q(clientSecret), QStringLiteral("ya29."), QString::fromLatin1(token)}) {
        if (!secret.isEmpty())
            QVERIFY2(!sentence.contains(secret), qPrintable(sentence));
    }
}

QByteArray keySet(const QJsonArray &keys)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("keys"), keys}}).toJson(QJsonDocument::Compact);
}

void GoogleProviderTest::initTestCase()
{
    m_keyA = std::make_unique<TestSigningKey>();
    m_keyB = std::make_unique<TestSigningKey>();
    m_weakKey = std::make_unique<TestSigningKey>(1024);
}

void GoogleProviderTest::init()
{
    m_google = std::make_unique<GoogleStandIn>(GoogleStandIn::Client{clientId, clientSecret, callbackURL});
    publish({m_keyA->jwk(QStringLiteral("key-a"))});
}

void GoogleProviderTest::cleanup()
{
    m_google.reset();
}

GoogleConfig GoogleProviderTest::config() const
{
    GoogleConfig config;
    config.clientId = clientId;
    config.clientSecret = clientSecret;
    config.callbackURL = callbackURL;
    config.tokenEndpoint = m_google->tokenURL();
    config.jwksURL = m_google->keysURL();
    return config;
}

TokenForger GoogleProviderTest::forger(const TestSigningKey &key, const QString &kid, std::int64_t at) const
{
    return TokenForger(key, kid, {q(clientId), q(nonce)}, at);
}

void GoogleProviderTest::publish(const QJsonArray &keys, const std::string &cacheControl)
{
    m_google->publishKeys({200, s(keySet(keys))}, cacheControl);
}

Outcome GoogleProviderTest::signInWith(const QByteArray &token, GoogleProvider &provider, std::int64_t at)
{
    m_google->issue(code, s(token));
    return provider.completeSignIn(code, nonce, at);
}

void GoogleProviderTest::authorizationURLCarriesEveryParameterEncoded_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("callback");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("nonce");

    const QString google = QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth");
    QTest::newRow("plain values") << google << q(callbackURL) << QStringLiteral("st-123") << QStringLiteral("n-456");
    QTest::newRow("reserved characters") << google << QStringLiteral("https://q.example/cb?x=1&y=2")
                                         << QStringLiteral("a b&c=d/e?f#g+h%25") << QStringLiteral("n+/==;,");
    QTest::newRow("non-ASCII") << google << q(callbackURL) << QStringLiteral("\u00e9tat-\u72b6\u614b")
                               << QStringLiteral("\u00f1");
    QTest::newRow("endpoint with its own query")
        << google + QStringLiteral("?hl=en") << q(callbackURL) << QStringLiteral("st") << QStringLiteral("nn");
}

void GoogleProviderTest::authorizationURLCarriesEveryParameterEncoded()
{
    QFETCH(QString, endpoint);
    QFETCH(QString, callback);
    QFETCH(QString, state);
    QFETCH(QString, nonce);

    GoogleConfig settings = config();
    settings.authorizationEndpoint = endpoint.toStdString();
    settings.callbackURL = callback.toStdString();
    const QString url = q(GoogleProvider(settings).authorizationURL(state.toStdString(), nonce.toStdString()));

    const QString base = endpoint.section(u'?', 0, 0);
    QVERIFY2(url.startsWith(base + u'?'), qPrintable(url));
    QMultiMap<QString, QString> expected{
        {QStringLiteral("response_type"), QStringLiteral("code")},
        {QStringLiteral("client_id"), q(clientId)},
        {QStringLiteral("redirect_uri"), callback},
        {QStringLiteral("scope"), QStringLiteral("openid email profile")},
        {QStringLiteral("state"), state},
        {QStringLiteral("nonce"), nonce},
        {QStringLiteral("prompt"), QStringLiteral("select_account")},
    };
    if (endpoint.contains(u'?'))
        expected.insert(QStringLiteral("hl"), QStringLiteral("en"));

    // Each value must be escaped completely: only unreserved characters and %XX may appear raw.
    static const QRegularExpression pair(
        QStringLiteral("^([A-Za-z0-9._~-]|%[0-9A-F]{2})+=([A-Za-z0-9._~-]|%[0-9A-F]{2})*$"));
    QMultiMap<QString, QString> actual;
    for (const QString &item : url.mid(base.size() + 1).split(u'&')) {
        QVERIFY2(pair.match(item).hasMatch(), qPrintable(item));
        const auto decode = [](const QString &text) { return QUrl::fromPercentEncoding(text.toLatin1()); };
        actual.insert(decode(item.section(u'=', 0, 0)), decode(item.section(u'=', 1)));
    }
    QCOMPARE(actual, expected);
}

void GoogleProviderTest::tokenRequestCarriesTheFormFields_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("callback");

    QTest::newRow("plain values") << QStringLiteral("4/0AeaYSHD") << QStringLiteral("GOCSPX-plain") << q(callbackURL);
    QTest::newRow("reserved characters") << QStringLiteral("4/0A+b c&d=e%f") << QStringLiteral("s&e=c+r/e t")
                                         << QStringLiteral("https://q.example/cb?x=1&y=2");
    QTest::newRow("non-ASCII") << QStringLiteral("c\u00f3digo-\u00fc") << QStringLiteral("\u79d8\u5bc6")
                               << QStringLiteral("http://127.0.0.1:8787/\u00e9");
}

void GoogleProviderTest::tokenRequestCarriesTheFormFields()
{
    QFETCH(QString, code);
    QFETCH(QString, secret);
    QFETCH(QString, callback);

    m_google =
        std::make_unique<GoogleStandIn>(GoogleStandIn::Client{clientId, secret.toStdString(), callback.toStdString()});
    publish({m_keyA->jwk(QStringLiteral("key-a"))});
    GoogleConfig settings = config();
    settings.clientSecret = secret.toStdString();
    settings.callbackURL = callback.toStdString();
    GoogleProvider provider(settings);
    m_google->issue(code.toStdString(), s(forger(*m_keyA, QStringLiteral("key-a")).token()));

    const Outcome outcome = provider.completeSignIn(code.toStdString(), nonce, now);
    QVERIFY2(std::holds_alternative<IdentityClaims>(outcome), why(outcome).c_str());

    const auto requests = m_google->tokenRequests();
    QCOMPARE(requests.size(), std::size_t(1));
    QCOMPARE(q(requests.front().contentType), QStringLiteral("application/x-www-form-urlencoded"));
    const std::multimap<std::string, std::string> expected{
        {"code", code.toStdString()},
        {"client_id", clientId},
        {"client_secret", secret.toStdString()},
        {"redirect_uri", callback.toStdString()},
        {"grant_type", "authorization_code"},
    };
    QVERIFY(requests.front().fields == expected);
}

void GoogleProviderTest::tokenEndpointFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");

    const QByteArray echo = R"({"error":"invalid_grant","error_description":"Code )" + QByteArray::fromStdString(code) +
                            R"( with secret )" + QByteArray::fromStdString(clientSecret) + R"( expired"})";
    QTest::newRow("400 echoing what was sent") << 400 << echo << QStringLiteral("did not accept the sign-in code");
    QTest::newRow("401 invalid client") << 401 << QByteArray(R"({"error":"invalid_client"})")
                                        << QStringLiteral("did not accept the sign-in code");
    QTest::newRow("500") << 500 << QByteArray("oops") << QStringLiteral("HTTP 500");
    QTest::newRow("redirect not followed") << 302 << QByteArray() << QStringLiteral("HTTP 302");
    QTest::newRow("not JSON") << 200 << QByteArray("<html>id_token</html>") << QStringLiteral("could not be read");
    QTest::newRow("empty body") << 200 << QByteArray() << QStringLiteral("could not be read");
    QTest::newRow("JSON array") << 200 << QByteArray(R"(["id_token"])") << QStringLiteral("could not be read");
    QTest::newRow("no id_token") << 200 << QByteArray(R"({"access_token":"ya29.a0Af","token_type":"Bearer"})")
                                 << QStringLiteral("did not return an ID token");
    QTest::newRow("id_token a number") << 200 << QByteArray(R"({"id_token":42})")
                                       << QStringLiteral("did not return an ID token");
    QTest::newRow("id_token empty") << 200 << QByteArray(R"({"id_token":""})")
                                    << QStringLiteral("did not return an ID token");
    QTest::newRow("answer over a mebibyte")
        << 200 << R"({"pad":")" + QByteArray(1100 * 1024, 'x') + R"("})" << QStringLiteral("too large");
}

void GoogleProviderTest::tokenEndpointFailures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);

    m_google->answerTokenRequestsWith({status, s(body)});
    GoogleProvider provider(config());
    expectFailure(provider.completeSignIn(code, nonce, now), reason);
    QCOMPARE(m_google->keyFetches(), 0);
}

void GoogleProviderTest::refusedSettings_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("nonce");
    QTest::addColumn<QString>("clientId");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<QString>("tokenEndpoint"); // empty for the stand-in's
    QTest::addColumn<QString>("jwksURL");       // empty for the stand-in's
    QTest::addColumn<bool>("tokenAsked");       // whether the stand-in's token endpoint may see the code
    QTest::addColumn<QString>("reason");

    const QString c = q(code), n = q(nonce), id = q(clientId), secret = q(clientSecret);
    // Refused before anything is sent.
    const auto before = [=](const char *name, const QString &withCode, const QString &withNonce, const QString &withId,
                            const QString &withSecret, qint64 at, const char *reason) {
        QTest::newRow(name) << withCode << withNonce << withId << withSecret << at << QString() << QString() << false
                            << QString::fromLatin1(reason);
    };
    const auto endpoints = [=](const char *name, const char *tokenEndpoint, const char *jwksURL, const char *reason) {
        QTest::newRow(name) << c << n << id << secret << qint64(now) << QString::fromLatin1(tokenEndpoint)
                            << QString::fromLatin1(jwksURL) << (*jwksURL != 0) << QString::fromLatin1(reason);
    };
    before("no code", QString(), n, id, secret, now, "no sign-in code");
    before("no nonce", c, QString(), id, secret, now, "no nonce");
    before("no client id", c, n, QString(), secret, now, "not configured");
    before("no client secret", c, n, id, QString(), now, "not configured");
    before("clock at the end of time", c, n, id, secret, std::numeric_limits<qint64>::max(), "impossible time");
    before("clock before the beginning", c, n, id, secret, std::numeric_limits<qint64>::min(), "impossible time");
    endpoints("token endpoint in clear text", "http://oauth2.example.invalid/token", "", "must use https");
    endpoints("loopback look-alike", "http://127.0.0.1.example.invalid/token", "", "must use https");
    endpoints("keys in clear text", "", "http://keys.example.invalid/certs", "must use https");
    endpoints("another scheme", "ftp://127.0.0.1/token", "", "not a valid");
    endpoints("not a URL", "token endpoint", "", "not a valid");
    endpoints("credentials in the URL", "https://user:pw@oauth2.example.invalid/token", "", "not a valid");
    endpoints("nobody listening", "http://127.0.0.1:1/token", "", "could not get an answer");
}

void GoogleProviderTest::refusedSettings()
{
    QFETCH(QString, code);
    QFETCH(QString, nonce);
    QFETCH(QString, clientId);
    QFETCH(QString, secret);
    QFETCH(qint64, at);
    QFETCH(QString, tokenEndpoint);
    QFETCH(QString, jwksURL);
    QFETCH(bool, tokenAsked);
    QFETCH(QString, reason);

    GoogleConfig settings = config();
    settings.clientId = clientId.toStdString();
    settings.clientSecret = secret.toStdString();
    if (!tokenEndpoint.isEmpty())
        settings.tokenEndpoint = tokenEndpoint.toStdString();
    if (!jwksURL.isEmpty())
        settings.jwksURL = jwksURL.toStdString();
    GoogleProvider provider(settings);
    const QByteArray token = forger(*m_keyA, QStringLiteral("key-a")).token();
    m_google->issue(code.toStdString(), s(token));
    expectFailure(provider.completeSignIn(code.toStdString(), nonce.toStdString(), at), reason, token);
    QCOMPARE(m_google->tokenRequests().size(), std::size_t(tokenAsked ? 1 : 0));
    QCOMPARE(m_google->keyFetches(), 0);
}

void GoogleProviderTest::concurrentSignInsShareOneProvider()
{
    constexpr int count = 8;
    GoogleProvider provider(config());
    for (int i = 0; i < count; ++i) {
        QJsonObject claims = forger(*m_keyA, QStringLiteral("key-a")).claims();
        claims.insert(QStringLiteral("sub"), QStringLiteral("user-%1").arg(i));
        const TokenForger mint = forger(*m_keyA, QStringLiteral("key-a"));
        m_google->issue("code-" + std::to_string(i), s(mint.token(mint.header(), claims)));
    }

    std::vector<Outcome> outcomes(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back(
            [&, i] { outcomes[i] = provider.completeSignIn("code-" + std::to_string(i), nonce, now); });
    for (auto &thread : threads)
        thread.join();

    for (int i = 0; i < count; ++i) {
        QVERIFY2(std::holds_alternative<IdentityClaims>(outcomes[i]), why(outcomes[i]).c_str());
        QCOMPARE(q(std::get<IdentityClaims>(outcomes[i]).subject), QStringLiteral("user-%1").arg(i));
    }
    QVERIFY(m_google->keyFetches() >= 1 && m_google->keyFetches() <= count);
}

void GoogleProviderTest::slowTokenEndpointTimesOut_data()
{
    QTest::addColumn<bool>("trickle");
    QTest::addColumn<QString>("reason");

    QTest::newRow("never answers") << false << QStringLiteral("token service");
    QTest::newRow("answers a byte at a time") << true << QStringLiteral("took too long");
}

// Both give up after about ten seconds; the stand-in would hold out for a minute.
void GoogleProviderTest::slowTokenEndpointTimesOut()
{
    QFETCH(bool, trickle);
    QFETCH(QString, reason);

    trickle ? m_google->trickleTokenAnswers() : m_google->hangTokenRequests();
    GoogleProvider provider(config());
    QElapsedTimer timer;
    timer.start();
    expectFailure(provider.completeSignIn(code, nonce, now), reason);
    QVERIFY2(timer.elapsed() >= 9000 && timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
}

} // namespace quillfern::testing

QTEST_GUILESS_MAIN(quillfern::testing::GoogleProviderTest)

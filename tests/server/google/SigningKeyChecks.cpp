#include "tests/server/google/GoogleProviderTest.h"

#include <QTest>

// How Google's published keys are fetched, cached, refetched and filtered.
namespace quillfern::testing {

using server::GoogleProvider;
using server::IdentityClaims;

void GoogleProviderTest::signingKeysAreCachedAndRefetched_data()
{
    QTest::addColumn<std::vector<KeyStep>>("steps");
    QTest::addColumn<QString>("cacheControl");
    QTest::addColumn<int>("fetches");

    const QString a = QStringLiteral("key-a");
    const QString b = QStringLiteral("key-b");
    QTest::newRow("known kid from the cache")
        << std::vector<KeyStep>{{"a", 'a', a, 0, true}, {"a", 'a', a, 10, true}} << QString() << 1;
    QTest::newRow("rotated key found by one refetch")
        << std::vector<KeyStep>{{"a", 'a', a, 0, true}, {"b", 'b', b, 10, true}, {"b", 'b', b, 20, true}} << QString()
        << 2;
    QTest::newRow("withdrawn key refused after a refetch")
        << std::vector<KeyStep>{{"a", 'a', a, 0, true}, {"b", 'b', b, 10, true}, {"b", 'a', a, 20, false}} << QString()
        << 3;
    QTest::newRow("unknown kid refetched once, then refused")
        << std::vector<KeyStep>{{"a", 'a', a, 0, true}, {"a", 'b', b, 10, false}, {"a", 'a', a, 20, true}} << QString()
        << 2;
    QTest::newRow("unknown kid on a cold cache costs one fetch")
        << std::vector<KeyStep>{{"a", 'b', b, 0, false}} << QString() << 1;
    QTest::newRow("both keys published") << std::vector<KeyStep>{{"ab", 'a', a, 0, true}, {"ab", 'b', b, 10, true}}
                                         << QString() << 1;
    QTest::newRow("max-age honoured") << std::vector<KeyStep>{{"a", 'a', a, 0, true},
                                                              {"a", 'a', a, 299, true},
                                                              {"a", 'a', a, 300, true}}
                                      << QStringLiteral("public, max-age=300, must-revalidate, no-transform") << 2;
    QTest::newRow("an hour without max-age")
        << std::vector<KeyStep>{{"a", 'a', a, 0, true}, {"a", 'a', a, 3599, true}, {"a", 'a', a, 3600, true}}
        << QString() << 2;
    QTest::newRow("at most a day") << std::vector<KeyStep>{{"a", 'a', a, 0, true},
                                                           {"a", 'a', a, 86399, true},
                                                           {"a", 'a', a, 86400, true}}
                                   << QStringLiteral("max-age=99999999999999999999") << 2;
    QTest::newRow("no-store") << std::vector<KeyStep>{{"a", 'a', a, 0, true}, {"a", 'a', a, 1, true}}
                              << QStringLiteral("no-cache, no-store, max-age=0") << 2;
}

void GoogleProviderTest::signingKeysAreCachedAndRefetched()
{
    QFETCH(std::vector<KeyStep>, steps);
    QFETCH(QString, cacheControl);
    QFETCH(int, fetches);

    GoogleProvider provider(config());
    for (const KeyStep &step : steps) {
        QJsonArray keys;
        if (step.published.find('a') != std::string::npos)
            keys.append(m_keyA->jwk(QStringLiteral("key-a")));
        if (step.published.find('b') != std::string::npos)
            keys.append(m_keyB->jwk(QStringLiteral("key-b")));
        publish(keys, cacheControl.toStdString());

        const TestSigningKey &signer = step.signer == 'a' ? *m_keyA : *m_keyB;
        const QByteArray token = forger(signer, step.kid, now + step.later).token();
        const Outcome outcome = signInWith(token, provider, now + step.later);
        if (step.succeeds)
            QVERIFY2(std::holds_alternative<IdentityClaims>(outcome), why(outcome).c_str());
        else
            expectFailure(outcome, QStringLiteral("does not publish"), token);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(m_google->keyFetches(), fetches);
}

void GoogleProviderTest::unusableKeySets_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("weakSigner");
    QTest::addColumn<QString>("reason"); // empty when the sign-in succeeds

    const QJsonObject jwk = m_keyA->jwk(QStringLiteral("key-a"));
    const auto altered = [&](const QString &name, const QJsonValue &value) {
        QJsonObject copy = jwk;
        value.isUndefined() ? void(copy.remove(name)) : void(copy.insert(name, value));
        return keySet({copy});
    };
    const QString unpublished = QStringLiteral("does not publish");
    const QString unreadable = QStringLiteral("could not be read");

    QTest::newRow("500") << 500 << QByteArray("down") << false << QStringLiteral("HTTP 500");
    QTest::newRow("not JSON") << 200 << QByteArray("<keys/>") << false << unreadable;
    QTest::newRow("no keys member") << 200 << QByteArray("{}") << false << unreadable;
    QTest::newRow("keys not an array") << 200 << QByteArray(R"({"keys":{"key-a":{}}})") << false << unreadable;
    QTest::newRow("entries of the wrong type")
        << 200 << QByteArray(R"({"keys":["key-a",3,null]})") << false << unpublished;
    QTest::newRow("another key type") << 200 << altered(QStringLiteral("kty"), QStringLiteral("EC")) << false
                                      << unpublished;
    QTest::newRow("an encryption key") << 200 << altered(QStringLiteral("use"), QStringLiteral("enc")) << false
                                       << unpublished;
    QTest::newRow("meant for another algorithm")
        << 200 << altered(QStringLiteral("alg"), QStringLiteral("RS512")) << false << unpublished;
    QTest::newRow("modulus missing") << 200 << altered(QStringLiteral("n"), QJsonValue::Undefined) << false
                                     << unpublished;
    QTest::newRow("exponent missing") << 200 << altered(QStringLiteral("e"), QJsonValue::Undefined) << false
                                      << unpublished;
    QTest::newRow("modulus padded") << 200
                                    << altered(QStringLiteral("n"),
                                               jwk.value(QStringLiteral("n")).toString() + QStringLiteral("=="))
                                    << false << unpublished;
    QTest::newRow("1024-bit key") << 200 << keySet({m_weakKey->jwk(QStringLiteral("key-a"))}) << true << unpublished;
    QTest::newRow("answer over a mebibyte")
        << 200 << keySet({jwk, QJsonObject{{QStringLiteral("pad"), QString(1100 * 1024, u'x')}}}) << false
        << QStringLiteral("too large");
    QTest::newRow("good key beside broken ones")
        << 200
        << keySet({QStringLiteral("junk"), QJsonObject{{QStringLiteral("kty"), QStringLiteral("RSA")}},
                   m_weakKey->jwk(QStringLiteral("key-weak")), jwk})
        << false << QString();
    QTest::newRow("optional members absent")
        << 200
        << keySet({QJsonObject{{QStringLiteral("kty"), QStringLiteral("RSA")},
                               {QStringLiteral("kid"), QStringLiteral("key-a")},
                               {QStringLiteral("n"), jwk.value(QStringLiteral("n"))},
                               {QStringLiteral("e"), jwk.value(QStringLiteral("e"))}}})
        << false << QString();
}

void GoogleProviderTest::unusableKeySets()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, weakSigner);
    QFETCH(QString, reason);

    m_google->publishKeys({status, s(body)});
    GoogleProvider provider(config());
    const QByteArray token = forger(weakSigner ? *m_weakKey : *m_keyA, QStringLiteral("key-a")).token();
    const Outcome outcome = signInWith(token, provider);
    if (reason.isEmpty())
        QVERIFY2(std::holds_alternative<IdentityClaims>(outcome), why(outcome).c_str());
    else
        expectFailure(outcome, reason, token);
}

} // namespace quillfern::testing

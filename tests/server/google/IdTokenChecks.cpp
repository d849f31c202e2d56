#include "tests/server/google/GoogleProviderTest.h"

#include <QJsonArray>
#include <QMessageAuthenticationCode>
#include <QTest>

// The ID token's own checks: signature, header, claims, and the shape of the compact encoding.
namespace quillfern::testing {

using server::GoogleProvider;
using server::IdentityClaims;

namespace {

using Changes = std::vector<std::pair<QString, QJsonValue>>;

// Replaces or, where the value is undefined, removes members; QJsonObject itself cannot carry that marker.
QJsonObject changed(QJsonObject object, const Changes &changes)
{
    for (const auto &[name, value] : changes) {
        if (value.isUndefined())
            object.remove(name);
        else
            object.insert(name, value);
    }
    return object;
}

Forge withClaims(const Changes &changes)
{
    return [changes](const TokenForger &forger, const TestSigningKey &) {
        return forger.token(forger.header(), changed(forger.claims(), changes));
    };
}

Forge withClaim(const QString &name, const QJsonValue &value)
{
    return withClaims({{name, value}});
}

Forge withHeader(const QString &name, const QJsonValue &value)
{
    return [name, value](const TokenForger &forger, const TestSigningKey &) {
        return forger.token(changed(forger.header(), {{name, value}}), forger.claims());
    };
}

const QJsonValue absent = QJsonValue(QJsonValue::Undefined);

} // namespace

void GoogleProviderTest::idTokenIsVerified_data()
{
    QTest::addColumn<Forge>("forge");
    QTest::addColumn<QString>("reason"); // empty when the sign-in succeeds
    QTest::addColumn<QStringList>("identity");

    const QString other = QStringLiteral("5678-other.apps.googleusercontent.com");
    const QString ours = q(clientId);
    const QStringList zoe{QStringLiteral("110169484474386276334"), QStringLiteral("Zo\u00eb \u5f20"),
                          QStringLiteral("zoe@example.com"),
                          QStringLiteral("https://lh3.googleusercontent.com/a/zoe=s96-c")};
    const auto fails = [](const char *name, Forge forge, const char *reason) {
        QTest::newRow(name) << forge << QString::fromLatin1(reason) << QStringList();
    };

    QTest::newRow("valid token") << withClaims({}) << QString() << zoe;
    QTest::newRow("bare issuer spelling")
        << withClaim(QStringLiteral("iss"), QStringLiteral("accounts.google.com")) << QString() << zoe;
    QTest::newRow("audience list naming us, azp ours")
        << withClaim(QStringLiteral("aud"), QJsonArray{other, ours}) << QString() << zoe;
    QTest::newRow("single audience without azp") << withClaim(QStringLiteral("azp"), absent) << QString() << zoe;
    QTest::newRow("expiry inside the skew") << withClaim(QStringLiteral("exp"), double(now - 59)) << QString() << zoe;
    QTest::newRow("issued inside the skew") << withClaim(QStringLiteral("iat"), double(now + 60)) << QString() << zoe;
    QTest::newRow("fractional dates") << withClaims(
                                             {{QStringLiteral("exp"), now + 0.75}, {QStringLiteral("iat"), now - 0.5}})
                                      << QString() << zoe;
    const QStringList withoutEmail{zoe[0], zoe[1], QString(), zoe[3]};
    QTest::newRow("verified flag as text")
        << withClaim(QStringLiteral("email_verified"), QStringLiteral("true")) << QString() << zoe;
    QTest::newRow("unverified email withheld")
        << withClaim(QStringLiteral("email_verified"), false) << QString() << withoutEmail;
    QTest::newRow("email without verified flag")
        << withClaim(QStringLiteral("email_verified"), absent) << QString() << withoutEmail;
    QTest::newRow("only the subject") << withClaims({{QStringLiteral("name"), absent},
                                                     {QStringLiteral("email"), 42},
                                                     {QStringLiteral("picture"), absent}})
                                      << QString() << QStringList{zoe.front(), QString(), QString(), QString()};

    fails(
        "signed by another key",
        [](const TokenForger &forger, const TestSigningKey &otherKey) {
            return forger.sign(TokenForger::segment(forger.header()), TokenForger::segment(forger.claims()), otherKey);
        },
        "signature");
    fails(
        "payload changed after signing",
        [](const TokenForger &forger, const TestSigningKey &) {
            QList<QByteArray> parts = forger.token().split('.');
            QJsonObject claims = forger.claims();
            claims.insert(QStringLiteral("sub"), QStringLiteral("110169484474386276335"));
            parts[1] = TokenForger::segment(claims);
            return parts.join('.');
        },
        "signature");
    fails(
        "signature cut short",
        [](const TokenForger &forger, const TestSigningKey &) {
            QList<QByteArray> parts = forger.token().split('.');
            parts[2] = base64Url(QByteArray::fromBase64(parts[2], QByteArray::Base64UrlEncoding).chopped(1));
            return parts.join('.');
        },
        "signature");
    fails(
        "alg none without signature",
        [](const TokenForger &forger, const TestSigningKey &) {
            QJsonObject header = forger.header();
            header.insert(QStringLiteral("alg"), QStringLiteral("none"));
            return TokenForger::segment(header) + '.' + TokenForger::segment(forger.claims()) + '.';
        },
        "RS256");
    fails("alg none with an RS256 signature", withHeader(QStringLiteral("alg"), QStringLiteral("none")), "RS256");
    fails(
        "HS256 keyed with the public key",
        [this](const TokenForger &forger, const TestSigningKey &) {
            QJsonObject header = forger.header();
            header.insert(QStringLiteral("alg"), QStringLiteral("HS256"));
            const QByteArray input = TokenForger::segment(header) + '.' + TokenForger::segment(forger.claims());
            const QByteArray mac =
                QMessageAuthenticationCode::hash(input, m_keyA->publicKeyPem(), QCryptographicHash::Sha256);
            return input + '.' + base64Url(mac);
        },
        "RS256");
    fails("alg in lower case", withHeader(QStringLiteral("alg"), QStringLiteral("rs256")), "RS256");
    fails("alg missing", withHeader(QStringLiteral("alg"), absent), "RS256");
    fails("critical header extension", withHeader(QStringLiteral("crit"), QJsonArray{QStringLiteral("exp")}),
          "understand");
    fails("kid missing", withHeader(QStringLiteral("kid"), absent), "key that signed");
    fails("kid empty", withHeader(QStringLiteral("kid"), QString()), "key that signed");
    fails("kid a number", withHeader(QStringLiteral("kid"), 7), "key that signed");
    fails("kid Google does not publish", withHeader(QStringLiteral("kid"), QStringLiteral("key-z")),
          "does not publish");

    fails("audience of another client", withClaim(QStringLiteral("aud"), other), "another application");
    fails("audience list without us", withClaim(QStringLiteral("aud"), QJsonArray{other}), "another application");
    fails("audience missing", withClaim(QStringLiteral("aud"), absent), "another application");
    fails("audience a number", withClaim(QStringLiteral("aud"), 1234), "another application");
    fails("audience list without azp",
          withClaims({{QStringLiteral("aud"), QJsonArray{ours, other}}, {QStringLiteral("azp"), absent}}),
          "requested by another");
    fails("audience list with another azp",
          withClaims({{QStringLiteral("aud"), QJsonArray{ours, other}}, {QStringLiteral("azp"), other}}),
          "requested by another");
    fails("single audience with another azp", withClaim(QStringLiteral("azp"), other), "requested by another");

    fails("issuer elsewhere", withClaim(QStringLiteral("iss"), QStringLiteral("https://evil.example")),
          "not issued by Google");
    fails("issuer with a trailing slash",
          withClaim(QStringLiteral("iss"), QStringLiteral("https://accounts.google.com/")), "not issued by Google");
    fails("issuer missing", withClaim(QStringLiteral("iss"), absent), "not issued by Google");

    fails("expired beyond the skew", withClaim(QStringLiteral("exp"), double(now - 61)), "expired");
    fails("expired exactly at the skew", withClaim(QStringLiteral("exp"), double(now - 60)), "expired");
    fails("expiry missing", withClaim(QStringLiteral("exp"), absent), "expiry");
    fails("expiry as text", withClaim(QStringLiteral("exp"), QString::number(now + 3600)), "expiry");
    fails("expiry beyond exact numbers", withClaim(QStringLiteral("exp"), 1e300), "expiry");
    fails("issued beyond the skew", withClaim(QStringLiteral("iat"), double(now + 61)), "future");
    fails("issue time missing", withClaim(QStringLiteral("iat"), absent), "issue time");
    fails("issue time as text", withClaim(QStringLiteral("iat"), QString::number(now)), "issue time");

    fails("nonce of another attempt", withClaim(QStringLiteral("nonce"), QStringLiteral("n-other")),
          "this sign-in attempt");
    fails("nonce shortened", withClaim(QStringLiteral("nonce"), q(nonce).chopped(1)), "this sign-in attempt");
    fails("nonce missing", withClaim(QStringLiteral("nonce"), absent), "this sign-in attempt");
    fails("nonce a number", withClaim(QStringLiteral("nonce"), 12), "this sign-in attempt");

    fails("subject missing", withClaim(QStringLiteral("sub"), absent), "identify");
    fails("subject empty", withClaim(QStringLiteral("sub"), QString()), "identify");
    fails("subject a number", withClaim(QStringLiteral("sub"), 110169484474.0), "identify");
}

void GoogleProviderTest::idTokenIsVerified()
{
    QFETCH(Forge, forge);
    QFETCH(QString, reason);
    QFETCH(QStringList, identity);

    GoogleProvider provider(config());
    const QByteArray token = forge(forger(*m_keyA, QStringLiteral("key-a")), *m_keyB);
    const Outcome outcome = signInWith(token, provider);
    if (!reason.isEmpty())
        return expectFailure(outcome, reason, token);

    QVERIFY2(std::holds_alternative<IdentityClaims>(outcome), why(outcome).c_str());
    const IdentityClaims &claims = std::get<IdentityClaims>(outcome);
    QCOMPARE((QStringList{q(claims.subject), q(claims.name), q(claims.email), q(claims.picture)}), identity);
}

namespace {

// A payload segment of the default claims whose length leaves `remainder` characters past the last full group
// of four, grown through a claim; with 2 or 3 it ends in a character carrying unused bits.
QByteArray payloadEnding(const TokenForger &forger, int remainder)
{
    QJsonObject claims = forger.claims();
    QByteArray payload = TokenForger::segment(claims);
    for (int extra = 1; payload.size() % 4 != remainder; ++extra) {
        claims.insert(QStringLiteral("hd"), QString(extra, u'x'));
        payload = TokenForger::segment(claims);
    }
    return payload;
}

// Signed over the text exactly as it will be sent, so only a lenient decoder could make anything of it.
Forge resignedPayload(int remainder, std::function<QByteArray(QByteArray)> spoil)
{
    return [remainder, spoil](const TokenForger &forger, const TestSigningKey &) {
        return forger.sign(TokenForger::segment(forger.header()), spoil(payloadEnding(forger, remainder)));
    };
}

Forge raw(const QByteArray &token)
{
    return [token](const TokenForger &, const TestSigningKey &) { return token; };
}

} // namespace

void GoogleProviderTest::malformedTokensAreRefused_data()
{
    QTest::addColumn<Forge>("forge");
    QTest::addColumn<QString>("reason");

    const QString malformed = QStringLiteral("malformed");
    const QByteArray header = TokenForger::segment(QJsonObject{{QStringLiteral("alg"), QStringLiteral("RS256")},
                                                               {QStringLiteral("kid"), QStringLiteral("key-a")}});
    const auto withSegments = [](QByteArray headerSegment, QByteArray payloadSegment) -> Forge {
        return [=](const TokenForger &forger, const TestSigningKey &) {
            return forger.sign(headerSegment, payloadSegment);
        };
    };

    QTest::newRow("one part") << raw(header) << malformed;
    QTest::newRow("two parts") << raw(header + '.' + TokenForger::segment(QJsonObject())) << malformed;
    QTest::newRow("four parts") << Forge([](const TokenForger &forger, const TestSigningKey &) {
        return forger.token() + ".e30";
    }) << malformed;
    QTest::newRow("only dots") << raw("..") << malformed;
    QTest::newRow("empty header") << withSegments(QByteArray(), TokenForger::segment(QJsonObject())) << malformed;

    // '~' and '?' in the third position of a byte triple encode as '-' and '_', the characters that differ.
    const auto standardAlphabet = [](char url, char standard) -> Forge {
        return [url, standard](const TokenForger &forger, const TestSigningKey &) {
            QJsonObject claims = forger.claims();
            claims.insert(QStringLiteral("hd"), QStringLiteral("~~~,???"));
            return forger.sign(TokenForger::segment(forger.header()),
                               TokenForger::segment(claims).replace(url, standard));
        };
    };
    QTest::newRow("standard alphabet '+'") << standardAlphabet('-', '+') << malformed;
    QTest::newRow("standard alphabet '/'") << standardAlphabet('_', '/') << malformed;
    QTest::newRow("padding") << resignedPayload(2, [](QByteArray payload) {
        return payload + QByteArray(4 - payload.size() % 4, '=');
    }) << malformed;
    QTest::newRow("unused bits set") << resignedPayload(3, [](QByteArray payload) {
        static const QByteArray alphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");
        payload.back() = alphabet.at(alphabet.indexOf(payload.back()) + 1);
        return payload;
    }) << malformed;
    QTest::newRow("line break inside") << resignedPayload(0, [](QByteArray payload) { return payload.insert(8, '\n'); })
                                       << malformed;
    // A lone 'A' adds no set bit, so only the length gives it away.
    QTest::newRow("impossible length") << resignedPayload(0, [](QByteArray payload) { return payload + 'A'; })
                                       << malformed;
    QTest::newRow("character outside both alphabets")
        << resignedPayload(0, [](QByteArray payload) { return payload.replace(4, 1, "*"); }) << malformed;

    QTest::newRow("header not JSON") << withSegments(TokenForger::segment(QByteArray("RS256 key-a")),
                                                     TokenForger::segment(QJsonObject()))
                                     << malformed;
    QTest::newRow("header a JSON array") << withSegments(TokenForger::segment(QByteArray(R"(["RS256","key-a"])")),
                                                         TokenForger::segment(QJsonObject()))
                                         << malformed;
    QTest::newRow("payload not JSON") << withSegments(header, TokenForger::segment(QByteArray(R"({"sub":)")))
                                      << malformed;
    QTest::newRow("payload a JSON string")
        << withSegments(header, TokenForger::segment(QByteArray(R"("sub")"))) << malformed;
    QTest::newRow("payload nested too deep")
        << withSegments(header, TokenForger::segment(R"({"a":)" + QByteArray(5000, '[') + QByteArray(5000, ']') + '}'))
        << malformed;
    QTest::newRow("signature not base64url")
        << Forge([](const TokenForger &forger, const TestSigningKey &) { return forger.token().chopped(4) + "!!!!"; })
        << malformed;
    QTest::newRow("signature empty") << Forge([](const TokenForger &forger, const TestSigningKey &) {
        const QByteArray token = forger.token();
        return token.left(token.lastIndexOf('.') + 1);
    }) << malformed;
    QTest::newRow("far too large") << withSegments(header, TokenForger::segment(QByteArray(70000, 'a')))
                                   << QStringLiteral("too large");
}

void GoogleProviderTest::malformedTokensAreRefused()
{
    QFETCH(Forge, forge);
    QFETCH(QString, reason);

    GoogleProvider provider(config());
    const QByteArray token = forge(forger(*m_keyA, QStringLiteral("key-a")), *m_keyB);
    expectFailure(signInWith(token, provider), reason, token);
}

} // namespace quillfern::testing

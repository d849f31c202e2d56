#pragma once

#include "server/google/GoogleProvider.h"
#include "tests/server/google/GoogleStandIn.h"
#include "tests/server/google/TestSigningKey.h"
#include "tests/server/google/TokenForger.h"

#include <QJsonArray>
#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace quillfern::testing {

inline const std::string clientId = "1234-quillfern.apps.googleusercontent.com";
inline const std::string clientSecret = "GOCSPX-s3cr3t+/&=";
inline const std::string callbackURL = "http://127.0.0.1:8787/v1/auth/google/callback";
inline const std::string nonce = "n-0S6_WzA2Mj";
inline const std::string code = "4/0AeaYSHD-one-time-code";
inline constexpr std::int64_t now = 1'700'000'000;

using Outcome = std::variant<server::IdentityClaims, std::string>;

inline QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

inline std::string s(const QByteArray &bytes)
{
    return bytes.toStdString();
}

// A JWKS document listing `keys`.
QByteArray keySet(const QJsonArray &keys);

// The failure's sentence, for test diagnostics.
std::string why(const Outcome &outcome);
// A failure must say why, in a sentence, and keep every credential of the exchange out of it.
void expectFailure(const Outcome &outcome, const QString &reason, const QByteArray &token = {});

// Builds the ID token a test case wants the token endpoint to hand out.
using Forge = std::function<QByteArray(const TokenForger &forger, const TestSigningKey &otherKey)>;

struct KeyStep {
    std::string published; // which keys the JWKS lists: "a", "b" or "ab"
    char signer;           // which key signs the token
    QString kid;
    std::int64_t later; // seconds after the first sign-in
    bool succeeds;
};

// One fixture for the provider: a fresh Google stand-in per test row, publishing key A as "key-a".
class GoogleProviderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void authorizationURLCarriesEveryParameterEncoded_data();
    void authorizationURLCarriesEveryParameterEncoded();
    void tokenRequestCarriesTheFormFields_data();
    void tokenRequestCarriesTheFormFields();
    void idTokenIsVerified_data();
    void idTokenIsVerified();
    void malformedTokensAreRefused_data();
    void malformedTokensAreRefused();
    void tokenEndpointFailures_data();
    void tokenEndpointFailures();
    void signingKeysAreCachedAndRefetched_data();
    void signingKeysAreCachedAndRefetched();
    void unusableKeySets_data();
    void unusableKeySets();
    void refusedSettings_data();
    void refusedSettings();
    void concurrentSignInsShareOneProvider();
    void slowTokenEndpointTimesOut_data();
    void slowTokenEndpointTimesOut();

private:
    server::GoogleConfig config() const;
    TokenForger forger(const TestSigningKey &key, const QString &kid, std::int64_t at = now) const;
    void publish(const QJsonArray &keys, const std::string &cacheControl = {});
    Outcome signInWith(const QByteArray &token, server::GoogleProvider &provider, std::int64_t at = now);

    std::unique_ptr<TestSigningKey> m_keyA;
    std::unique_ptr<TestSigningKey> m_keyB;
    std::unique_ptr<TestSigningKey> m_weakKey;
    std::unique_ptr<GoogleStandIn> m_google;
};

} // namespace quillfern::testing

Q_DECLARE_METATYPE(quillfern::testing::Forge)
Q_DECLARE_METATYPE(std::vector<quillfern::testing::KeyStep>)

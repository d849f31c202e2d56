#include "server/google/GoogleProvider.h"

#include "server/google/IdTokenVerifier.h"
#include "server/google/SigningKeyCache.h"
#include "server/outbound/OutboundHttp.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillfern::server {
namespace {

const std::string tokenService = "Google's token service";

// The ID token out of a token-endpoint answer, or in `failure` why there is none. Google's own error text is
// left out of the sentence: it is not written for our users and could echo what was sent.
std::string idTokenFrom(const outbound::Answer &answer, std::string &failure)
{
    if (answer.status == 400 || answer.status == 401) {
        failure = "Google did not accept the sign-in code (HTTP " + std::to_string(answer.status) +
                  "); please sign in again.";
        return {};
    }
    if (answer.status != 200) {
        failure = tokenService + " answered with HTTP " + std::to_string(answer.status) + '.';
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(answer.body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        failure = tokenService + " sent an answer that could not be read.";
        return {};
    }
    const QString idToken = document.object().value(QLatin1String("id_token")).toString();
    if (idToken.isEmpty())
        failure = tokenService + " did not return an ID token.";
    return idToken.toStdString();
}

} // namespace

GoogleProvider::GoogleProvider(GoogleConfig config)
    : m_config(std::move(config)), m_keys(std::make_unique<google::SigningKeyCache>(m_config.jwksURL))
{
}

GoogleProvider::~GoogleProvider() = default;
GoogleProvider::GoogleProvider(GoogleProvider &&) noexcept = default;
GoogleProvider &GoogleProvider::operator=(GoogleProvider &&) noexcept = default;

std::string GoogleProvider::authorizationURL(const std::string &state, const std::string &nonce) const
{
    const outbound::FormFields query = {
        {"response_type", "code"},
        {"client_id", m_config.clientId},
        {"redirect_uri", m_config.callbackURL},
        {"scope", "openid email profile"},
        {"state", state},
        {"nonce", nonce},
        {"prompt", "select_account"},
    };
    const std::string &endpoint = m_config.authorizationEndpoint;
    const char separator = endpoint.find('?') == std::string::npos ? '?' : '&';
    return endpoint + separator + outbound::encodeFields(query);
}

std::variant<IdentityClaims, std::string>
GoogleProvider::completeSignIn(const std::string &code, const std::string &expectedNonce, std::int64_t nowSeconds)
{
    if (m_config.clientId.empty() || m_config.clientSecret.empty())
        return std::string("Sign-in with Google is not configured on this server.");
    if (code.empty())
        return std::string("Google sent no sign-in code.");
    if (expectedNonce.empty())
        return std::string("This sign-in attempt has no nonce to check the token against.");
    // Beyond 2^53 seconds the time arithmetic below would not be exact, and is no real clock anyway.
    if (nowSeconds > (std::int64_t(1) << 53) || nowSeconds < -(std::int64_t(1) << 53))
        return std::string("The server's clock reads an impossible time.");

    const outbound::FormFields form = {
        {"code", code},
        {"client_id", m_config.clientId},
        {"client_secret", m_config.clientSecret},
        {"redirect_uri", m_config.callbackURL},
        {"grant_type", "authorization_code"},
    };
    const auto exchanged = outbound::postForm(m_config.tokenEndpoint, form, {.accept = "application/json"});
    if (const auto *failure = std::get_if<outbound::Failure>(&exchanged))
        return failure->sentence(tokenService);
    std::string refusal;
    const std::string compact = idTokenFrom(std::get<outbound::Answer>(exchanged), refusal);
    if (!refusal.empty())
        return refusal;

    auto parsed = google::parseIdToken(compact);
    if (auto *failure = std::get_if<std::string>(&parsed))
        return std::move(*failure);
    const auto &token = std::get<google::IdToken>(parsed);

    auto key = m_keys->keyFor(token.kid, nowSeconds);
    if (auto *failure = std::get_if<std::string>(&key))
        return std::move(*failure);
    if (!std::get<std::shared_ptr<const google::RsaPublicKey>>(key)->verifiesRs256(token.signingInput, token.signature))
        return std::string("The sign-in token's signature is not valid.");

    return google::checkClaims(token.claims, m_config, expectedNonce, nowSeconds);
}

} // namespace quillfern::server

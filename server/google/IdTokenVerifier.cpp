#include "server/google/IdTokenVerifier.h"

#include "server/google/Base64Url.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <optional>

namespace quillfern::server::google {
namespace {

// Google's ID tokens are about a kilobyte; anything far larger is not one and is not worth decoding.
constexpr std::size_t maximumTokenBytes = 64 * 1024;

const std::string malformed = "The sign-in token is malformed.";

std::optional<QJsonObject> decodeJsonObject(std::string_view segment)
{
    const auto bytes = decodeBase64Url(segment);
    if (!bytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*bytes), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// JSON numbers arrive as doubles; a NumericDate beyond 2^53 seconds cannot be exact and is refused,
// which also keeps the skew arithmetic below from overflowing.
std::optional<std::int64_t> numericDate(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double seconds = value.toDouble();
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9007199254740992.0)
        return std::nullopt;
    return std::int64_t(std::floor(seconds));
}

std::string optionalString(const QJsonObject &claims, QLatin1String name)
{
    return claims.value(name).toString().toStdString();
}

std::optional<std::string> audienceProblem(const QJsonObject &claims, const std::string &clientId)
{
    const QString ours = QString::fromStdString(clientId);
    const QJsonValue audience = claims.value(QLatin1String("aud"));
    const QJsonValue authorizedParty = claims.value(QLatin1String("azp"));
    const std::string otherApplication = "The sign-in token was issued for another application.";
    const std::string otherRequester = "The sign-in token was requested by another application.";

    if (audience.isString()) {
        if (audience.toString() != ours)
            return otherApplication;
    } else if (audience.isArray()) {
        const QJsonArray audiences = audience.toArray();
        if (!std::any_of(audiences.begin(), audiences.end(), [&](const QJsonValue &v) { return v.toString() == ours; }))
            return otherApplication;
        // With several audiences, only the authorized party says the token was issued to us.
        if (!authorizedParty.isString())
            return otherRequester;
    } else {
        return otherApplication;
    }
    if (!authorizedParty.isUndefined() && authorizedParty.toString() != ours)
        return otherRequester;
    return std::nullopt;
}

} // namespace

std::variant<IdToken, std::string> parseIdToken(std::string_view compact)
{
    if (compact.size() > maximumTokenBytes)
        return std::string("The sign-in token is too large.");
    const std::size_t firstDot = compact.find('.');
    const std::size_t secondDot = firstDot == std::string_view::npos ? firstDot : compact.find('.', firstDot + 1);
    if (secondDot == std::string_view::npos || compact.find('.', secondDot + 1) != std::string_view::npos)
        return malformed;
    const std::string_view headerSegment = compact.substr(0, firstDot);
    const std::string_view payloadSegment = compact.substr(firstDot + 1, secondDot - firstDot - 1);
    const std::string_view signatureSegment = compact.substr(secondDot + 1);

    const auto header = decodeJsonObject(headerSegment);
    if (!header)
        return malformed;
    // The algorithm is fixed here, never taken from the token, so "none" or an HMAC keyed with the public
    // key cannot pass for a signature.
    if (header->value(QLatin1String("alg")).toString() != QLatin1String("RS256"))
        return std::string("The sign-in token is not signed with RS256.");
    if (header->contains(QLatin1String("crit")))
        return std::string("The sign-in token carries header extensions this server does not understand.");
    const QJsonValue kid = header->value(QLatin1String("kid"));
    if (!kid.isString() || kid.toString().isEmpty())
        return std::string("The sign-in token does not name the key that signed it.");

    const auto claims = decodeJsonObject(payloadSegment);
    const auto signature = decodeBase64Url(signatureSegment);
    if (!claims || !signature || signature->empty())
        return malformed;

    IdToken token;
    token.kid = kid.toString().toStdString();
    token.signingInput = std::string(compact.substr(0, secondDot));
    token.signature = *signature;
    token.claims = *claims;
    return token;
}

std::variant<IdentityClaims, std::string> checkClaims(const QJsonObject &claims, const GoogleConfig &config,
                                                      const std::string &expectedNonce, std::int64_t nowSeconds)
{
    if (auto problem = audienceProblem(claims, config.clientId))
        return *problem;

    const std::string issuer = claims.value(QLatin1String("iss")).toString().toStdString();
    if (issuer.empty() || std::find(config.issuers.begin(), config.issuers.end(), issuer) == config.issuers.end())
        return std::string("The sign-in token was not issued by Google.");

    const std::int64_t skew = std::max(config.clockSkewSeconds, 0);
    const auto expiry = numericDate(claims.value(QLatin1String("exp")));
    if (!expiry)
        return std::string("The sign-in token has no valid expiry time.");
    if (nowSeconds >= *expiry + skew)
        return std::string("The sign-in token has expired.");
    const auto issuedAt = numericDate(claims.value(QLatin1String("iat")));
    if (!issuedAt)
        return std::string("The sign-in token has no valid issue time.");
    if (*issuedAt > nowSeconds + skew)
        return std::string("The sign-in token was issued in the future; check the server's clock.");

    const QJsonValue nonce = claims.value(QLatin1String("nonce"));
    if (expectedNonce.empty() || !nonce.isString() || nonce.toString().toStdString() != expectedNonce)
        return std::string("The sign-in token does not belong to this sign-in attempt.");

    IdentityClaims identity;
    identity.subject = optionalString(claims, QLatin1String("sub"));
    if (identity.subject.empty())
        return std::string("The sign-in token does not identify the account.");
    identity.name = optionalString(claims, QLatin1String("name"));
    // An address Google has not verified says nothing about who signed in, so it is not passed on.
    const QJsonValue verified = claims.value(QLatin1String("email_verified"));
    if (verified == QJsonValue(true) || verified == QJsonValue(QLatin1String("true")))
        identity.email = optionalString(claims, QLatin1String("email"));
    identity.picture = optionalString(claims, QLatin1String("picture"));
    return identity;
}

} // namespace quillfern::server::google

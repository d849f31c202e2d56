#pragma once

#include "server/google/GoogleProvider.h"

#include <QJsonObject>

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace quillfern::server::google {

// A compact JWS whose structure and header are acceptable; its signature is not checked yet.
struct IdToken {
    std::string kid;
    std::string signingInput; // "header.payload" exactly as received, which is what was signed
    std::string signature;
    QJsonObject claims;
};

// Splits and decodes an ID token, refusing anything but a three-part RS256 token that names its key.
std::variant<IdToken, std::string> parseIdToken(std::string_view compact);

// The checks an OpenID Connect client owes a signature-verified ID token: audience and authorized party,
// issuer, expiry and issue time (each allowing the configured clock skew), and the nonce of this attempt.
std::variant<IdentityClaims, std::string> checkClaims(const QJsonObject &claims, const GoogleConfig &config,
                                                      const std::string &expectedNonce, std::int64_t nowSeconds);

} // namespace quillfern::server::google

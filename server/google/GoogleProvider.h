#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace quillfern::server {

namespace google {
class SigningKeyCache;
}

struct GoogleConfig {
    std::string clientId;
    std::string clientSecret;
    std::string callbackURL; // our own server-side callback, e.g. "http://127.0.0.1:8787/v1/auth/google/callback"
    std::string authorizationEndpoint = "https://accounts.google.com/o/oauth2/v2/auth";
    std::string tokenEndpoint = "https://oauth2.googleapis.com/token";
    std::string jwksURL = "https://www.googleapis.com/oauth2/v3/certs";
    std::vector<std::string> issuers = {"https://accounts.google.com", "accounts.google.com"};
    int clockSkewSeconds = 60;
};

// Who signed in. Accounts are keyed on `subject` (Google's "sub"); the rest is informational and may be empty.
// `email` is only filled in when Google marks the address as verified.
struct IdentityClaims {
    std::string subject;
    std::string name;
    std::string email;
    std::string picture;
};

// Sign-in with Google through the OpenID Connect authorization-code flow. The token and key endpoints must
// be https URLs (plain http only on loopback). One instance may serve several threads at once; it caches
// Google's signing keys between sign-ins.
class GoogleProvider {
public:
    explicit GoogleProvider(GoogleConfig config);
    ~GoogleProvider();
    GoogleProvider(GoogleProvider &&) noexcept;
    GoogleProvider &operator=(GoogleProvider &&) noexcept;

    // Where to send the browser: the authorization endpoint with response_type=code, client_id,
    // redirect_uri=callbackURL, scope "openid email profile", state, nonce and prompt=select_account,
    // every value percent-encoded.
    std::string authorizationURL(const std::string &state, const std::string &nonce) const;

    // Exchanges the code at the token endpoint, then verifies the ID token it returns: an RS256 signature
    // by one of Google's published keys, our client as audience, a Google issuer, expiry and issue time
    // against `nowSeconds` (Unix time) within the clock skew, and `expectedNonce`. Returns the claims, or a
    // short English sentence saying why sign-in failed; it never contains a token, code or secret.
    std::variant<IdentityClaims, std::string> completeSignIn(const std::string &code, const std::string &expectedNonce,
                                                             std::int64_t nowSeconds);

private:
    GoogleConfig m_config;
    std::unique_ptr<google::SigningKeyCache> m_keys;
};

} // namespace quillfern::server

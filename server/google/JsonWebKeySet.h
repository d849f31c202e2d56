#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_pkey_st;

namespace quillfern::server::google {

// An RSA public key taken from a JWK, able to check RS256 (RSASSA-PKCS1-v1_5 with SHA-256) signatures.
class RsaPublicKey {
public:
    // From the JWK's big-endian modulus and exponent; nullptr when OpenSSL will not make a key of them.
    static std::shared_ptr<const RsaPublicKey> fromComponents(const std::string &modulus, const std::string &exponent);
    ~RsaPublicKey();
    RsaPublicKey(const RsaPublicKey &) = delete;
    RsaPublicKey &operator=(const RsaPublicKey &) = delete;

    bool verifiesRs256(std::string_view signingInput, std::string_view signature) const;
    int bits() const;

private:
    explicit RsaPublicKey(evp_pkey_st *key) : m_key(key) {}
    evp_pkey_st *m_key;
};

// The signing keys of a JWKS document, by "kid". Entries that are not RSA signing keys usable with RS256
// are skipped rather than failing the whole set, since a provider may publish other kinds beside them.
using JsonWebKeySet = std::map<std::string, std::shared_ptr<const RsaPublicKey>>;

// nullopt when the document is not a JSON object with a "keys" array.
std::optional<JsonWebKeySet> parseJsonWebKeySet(const std::string &document);

} // namespace quillfern::server::google

#pragma once

#include "server/google/JsonWebKeySet.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <variant>

namespace quillfern::server::google {

// Google's published signing keys, fetched on first use and kept for as long as the answer's
// Cache-Control max-age allows. Google rotates keys ahead of the cache lifetime, so a kid not in the cache
// triggers one refetch before the token is refused. Safe to use from several threads.
class SigningKeyCache {
public:
    explicit SigningKeyCache(std::string jwksURL) : m_url(std::move(jwksURL)) {}

    std::variant<std::shared_ptr<const RsaPublicKey>, std::string> keyFor(const std::string &kid,
                                                                          std::int64_t nowSeconds);

private:
    std::variant<JsonWebKeySet, std::string> fetch(std::int64_t nowSeconds, std::int64_t &expiresAt) const;

    const std::string m_url;
    std::mutex m_mutex;
    JsonWebKeySet m_keys;
    bool m_loaded = false;
    std::int64_t m_expiresAt = 0;
};

} // namespace quillfern::server::google

#pragma once

// The proof key that ties a sign-in's start to its code exchange: only the process that made the verifier
// can redeem the code the browser brings back.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace quillfern {

struct PKCE {
    QString verifier;  // 43 characters of the URL-safe base64 alphabet
    QString challenge; // the verifier's SHA-256, in the same encoding

    bool operator==(const PKCE &) const = default;
};

// Exactly count random bytes, or nothing when the source cannot give them.
using RandomBytes = std::function<std::optional<QByteArray>(qsizetype count)>;

// The operating system's random source.
std::optional<QByteArray> systemRandomBytes(qsizetype count);

// URL-safe base64 without padding.
QString base64URL(const QByteArray &bytes);

// A fresh verifier and its S256 challenge, or nothing when the random source fails.
std::optional<PKCE> makePKCE(const RandomBytes &random = systemRandomBytes);

} // namespace quillfern

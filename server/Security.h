#pragma once

#include <QByteArray>
#include <QString>

namespace quillfern::server {

// bytes from the operating system's random source, written base64url without padding.
QString randomToken(int bytes = 32);
// Lower-case hexadecimal SHA-256 of the text's UTF-8 bytes: how codes, states and tokens are stored.
QString sha256Hex(const QString &text);
// The PKCE S256 challenge of a verifier: base64url SHA-256 of its text, without padding.
QString pkceChallenge(const QString &verifier);
// Compares without leaking through timing where the first difference is.
bool constantTimeEquals(const QByteArray &a, const QByteArray &b);

// Wall-clock seconds, shifted by the number in an optional file: lets tests expire codes and tokens.
class Clock {
public:
    explicit Clock(QString offsetFile = {}) : m_offsetFile(std::move(offsetFile)) {}
    qint64 nowSeconds() const;

private:
    QString m_offsetFile;
};

} // namespace quillfern::server

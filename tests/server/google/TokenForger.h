#pragma once

#include "tests/server/google/TestSigningKey.h"

#include <QByteArray>
#include <QJsonObject>

#include <cstdint>

namespace quillfern::testing {

// Mints ID tokens the way Google does, from a header and claims that a test may bend first.
class TokenForger {
public:
    struct Audience {
        QString clientId;
        QString nonce;
    };

    TokenForger(const TestSigningKey &key, QString kid, Audience audience, std::int64_t nowSeconds);

    QJsonObject header() const;
    QJsonObject claims() const;

    // "header.payload.signature", signed over the two segments exactly as given.
    QByteArray sign(const QByteArray &headerSegment, const QByteArray &payloadSegment) const;
    QByteArray sign(const QByteArray &headerSegment, const QByteArray &payloadSegment, const TestSigningKey &key) const;
    QByteArray token(const QJsonObject &header, const QJsonObject &claims) const;
    QByteArray token() const { return token(header(), claims()); }

    static QByteArray segment(const QJsonObject &object);
    static QByteArray segment(const QByteArray &raw) { return base64Url(raw); }

private:
    const TestSigningKey &m_key;
    QString m_kid;
    Audience m_audience;
    std::int64_t m_now;
};

} // namespace quillfern::testing

#include "tests/server/google/TokenForger.h"

#include <QJsonDocument>

namespace quillfern::testing {

TokenForger::TokenForger(const TestSigningKey &key, QString kid, Audience audience, std::int64_t nowSeconds)
    : m_key(key), m_kid(std::move(kid)), m_audience(std::move(audience)), m_now(nowSeconds)
{
}

QJsonObject TokenForger::header() const
{
    return QJsonObject{
        {QStringLiteral("alg"), QStringLiteral("RS256")},
        {QStringLiteral("kid"), m_kid},
        {QStringLiteral("typ"), QStringLiteral("JWT")},
    };
}

QJsonObject TokenForger::claims() const
{
    return QJsonObject{
        {QStringLiteral("iss"), QStringLiteral("https://accounts.google.com")},
        {QStringLiteral("azp"), m_audience.clientId},
        {QStringLiteral("aud"), m_audience.clientId},
        {QStringLiteral("sub"), QStringLiteral("110169484474386276334")},
        {QStringLiteral("email"), QStringLiteral("zoe@example.com")},
        {QStringLiteral("email_verified"), true},
        {QStringLiteral("at_hash"), QStringLiteral("HK6E_P6Dh8Y93mRNtsDB1Q")},
        {QStringLiteral("nonce"), m_audience.nonce},
        {QStringLiteral("name"), QStringLiteral("Zo\u00eb \u5f20")},
        {QStringLiteral("picture"), QStringLiteral("https://lh3.googleusercontent.com/a/zoe=s96-c")},
        {QStringLiteral("iat"), double(m_now - 5)},
        {QStringLiteral("exp"), double(m_now + 3595)},
    };
}

QByteArray TokenForger::segment(const QJsonObject &object)
{
    return base64Url(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QByteArray TokenForger::sign(const QByteArray &headerSegment, const QByteArray &payloadSegment) const
{
    return sign(headerSegment, payloadSegment, m_key);
}

QByteArray TokenForger::sign(const QByteArray &headerSegment, const QByteArray &payloadSegment,
                             const TestSigningKey &key) const
{
    const QByteArray input = headerSegment + '.' + payloadSegment;
    return input + '.' + base64Url(key.signRs256(input));
}

QByteArray TokenForger::token(const QJsonObject &header, const QJsonObject &claims) const
{
    return sign(segment(header), segment(claims));
}

} // namespace quillfern::testing

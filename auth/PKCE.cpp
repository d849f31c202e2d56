#include "auth/PKCE.h"

#include <QCryptographicHash>
#include <QList>
#include <QRandomGenerator>

namespace quillfern {

std::optional<QByteArray> systemRandomBytes(qsizetype count)
{
    QList<quint32> words((count + 3) / 4);
    QRandomGenerator::system()->generate(words.begin(), words.end());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), count);
}

QString base64URL(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::optional<PKCE> makePKCE(const RandomBytes &random)
{
    constexpr qsizetype verifierBytes = 32;
    const auto bytes = random ? random(verifierBytes) : std::nullopt;
    // A short read would make a guessable verifier, so it counts as a failure of the source.
    if (!bytes || bytes->size() != verifierBytes)
        return std::nullopt;
    const QString verifier = base64URL(*bytes);
    const QString challenge = base64URL(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256));
    return PKCE{verifier, challenge};
}

} // namespace quillfern

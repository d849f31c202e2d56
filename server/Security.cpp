#include "server/Security.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

namespace quillfern::server {
namespace {

constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

}

QString randomToken(int bytes)
{
    QList<quint32> words((bytes + 3) / 4);
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray raw(reinterpret_cast<const char *>(words.constData()), bytes);
    return QString::fromLatin1(raw.toBase64(base64url));
}

QString sha256Hex(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString pkceChallenge(const QString &verifier)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256).toBase64(base64url));
}

bool constantTimeEquals(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

qint64 Clock::nowSeconds() const
{
    qint64 now = QDateTime::currentSecsSinceEpoch();
    if (!m_offsetFile.isEmpty()) {
        QFile file(m_offsetFile);
        if (file.open(QIODevice::ReadOnly))
            now += file.readAll().trimmed().toLongLong();
    }
    return now;
}

} // namespace quillfern::server

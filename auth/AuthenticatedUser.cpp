#include "auth/AuthenticatedUser.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillfern {
namespace {

const QString nameKey = QStringLiteral("name");
const QString emailKey = QStringLiteral("email");
const QString pictureKey = QStringLiteral("pictureURL");

// Missing or null is absent; anything but a string is a damaged record.
bool readOptionalText(const QJsonObject &object, const QString &key, std::optional<QString> &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        out.reset();
        return true;
    }
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

} // namespace

std::optional<QUrl> absoluteURL(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

QByteArray encodeStoredUser(const AuthenticatedUser &user)
{
    QJsonObject object{{nameKey, user.name}};
    if (user.email)
        object.insert(emailKey, *user.email);
    if (user.pictureURL)
        object.insert(pictureKey, user.pictureURL->toString(QUrl::FullyEncoded));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<AuthenticatedUser> decodeStoredUser(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue name = object.value(nameKey);
    if (!name.isString())
        return std::nullopt;
    AuthenticatedUser user{name.toString(), std::nullopt, std::nullopt};
    std::optional<QString> picture;
    if (!readOptionalText(object, emailKey, user.email) || !readOptionalText(object, pictureKey, picture))
        return std::nullopt;
    if (picture)
        user.pictureURL = absoluteURL(*picture);
    return user;
}

} // namespace quillfern

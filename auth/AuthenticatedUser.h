#pragma once

// The signed-in person as the app remembers them between runs.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace quillfern {

struct AuthenticatedUser {
    QString name;
    std::optional<QString> email;
    std::optional<QUrl> pictureURL;

    bool operator==(const AuthenticatedUser &) const = default;
};

// A JSON object with the keys "name", "email" and "pictureURL" (the absolute URL text); absent optionals
// are left out.
QByteArray encodeStoredUser(const AuthenticatedUser &user);

// Needs "name" as a string; "email" and "pictureURL" are optional strings, null counting as absent. A picture
// that is not an absolute URL is dropped rather than failing the whole record.
std::optional<AuthenticatedUser> decodeStoredUser(const QByteArray &json);

// text as an absolute URL, or nothing (empty text included).
std::optional<QUrl> absoluteURL(const QString &text);

} // namespace quillfern

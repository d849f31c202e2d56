#pragma once

#include <QMap>
#include <QString>
#include <QUrl>

namespace quillfern {

// The query items of a sign-in callback, percent-escapes decoded and "+" kept as it is. Items are read in
// order: "name=value" sets (a later one replaces an earlier), a bare "name" removes. Empty when the URL
// has no query or cannot be parsed.
QMap<QString, QString> callbackItems(const QUrl &url);

} // namespace quillfern

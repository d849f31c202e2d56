#include "auth/CallbackItems.h"

namespace quillfern {

QMap<QString, QString> callbackItems(const QUrl &url)
{
    QMap<QString, QString> items;
    if (!url.isValid() || !url.hasQuery())
        return items;
    // QUrlQuery reports "code" and "code=" alike, so the query text is split here to tell them apart.
    const QString query = url.query(QUrl::FullyEncoded);
    for (const QStringView part : QStringView(query).split(QLatin1Char('&'))) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals < 0) {
            items.remove(QUrl::fromPercentEncoding(part.toLatin1()));
            continue;
        }
        items.insert(QUrl::fromPercentEncoding(part.left(equals).toLatin1()),
                     QUrl::fromPercentEncoding(part.mid(equals + 1).toLatin1()));
    }
    return items;
}

} // namespace quillfern

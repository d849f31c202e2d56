#include "api/KeyConversion.h"

#include <QList>

namespace quillfern {

QString toSnakeCase(QStringView name)
{
    QString key;
    key.reserve(name.size() + 4);
    for (const QChar c : name) {
        if (c.isUpper()) {
            key.append(QLatin1Char('_'));
            key.append(c.toLower());
        } else {
            key.append(c);
        }
    }
    return key;
}

QString fromSnakeCase(QStringView key)
{
    if (!key.contains(u'_'))
        return key.toString();
    qsizetype first = 0;
    while (first < key.size() && key[first] == u'_')
        ++first;
    if (first == key.size())
        return key.toString();
    qsizetype last = key.size() - 1;
    while (key[last] == u'_')
        --last;

    QString result = key.left(first).toString();
    bool firstWord = true;
    for (QStringView word : key.mid(first, last - first + 1).split(u'_', Qt::SkipEmptyParts)) {
        if (firstWord) {
            result.append(word);
            firstWord = false;
        } else {
            result.append(word.left(1).toString().toUpper());
            result.append(word.mid(1).toString().toLower());
        }
    }
    result.append(key.mid(last + 1));
    return result;
}

} // namespace quillfern

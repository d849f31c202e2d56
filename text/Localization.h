#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace quillfern {

// The interface texts in every language, looked up by key. Built once on first use (safe from any
// thread) and never changed afterwards.
class AppText {
public:
    using Table = QHash<QString, QString>;

    // The English table; the fallback for unknown language codes and for keys a table lacks.
    static const Table &english();
    // Language code ("en-US", "en-GB", "en-EU", "zh-CN", "zh-TW", "ja-JP", "ko-KR") to its table.
    static const QHash<QString, Table> &translations();
    // Every key, in catalogue order.
    static const QStringList &keys();

    // The text of key in the language of languageCode (exact, case-sensitive codes); English when the
    // code is unknown or its table lacks the key; the key itself when no table has it.
    static QString value(QStringView key, QStringView languageCode);
};

} // namespace quillfern

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <initializer_list>
#include <variant>

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

    // A BCP 47 language tag (a system language, an Accept-Language range) as the code of the app's language
    // it names ("zh-HK" is "zh-TW", "en-IE" is "en-EU"); empty when the app does not speak it.
    static QString languageForTag(const QString &tag);

    // The text of key in the language of languageCode (exact, case-sensitive codes); English when the
    // code is unknown or its table lacks the key; the key itself when no table has it.
    static QString value(QStringView key, QStringView languageCode);

    // An argument of a message: text as it is, or a number the message may count with.
    using Argument = std::variant<QString, qint64, double>;
    // The text of key with its arguments put in, under the plural rules of the language: the catalogue
    // holds ICU message patterns ("{0, plural, one {# row} other {# rows}}", "{1} の {0}"). A pattern ICU
    // cannot read comes back as it is, so a broken translation shows rather than hides.
    static QString format(QStringView key, QStringView languageCode, std::initializer_list<Argument> arguments);

    // The language the window speaks, for texts made far from any window (a failed request's description).
    // Set by the window when the user picks a language; "en-US" until then. Safe from any thread.
    static void setCurrentLanguage(const QString &languageCode);
    static QString currentLanguage();
    // value() and format() in the current language.
    static QString text(QStringView key);
    static QString text(QStringView key, std::initializer_list<Argument> arguments);
};

} // namespace quillfern

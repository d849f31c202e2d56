#pragma once

// GICS sector and sub-industry names in the interface languages. The service sends the classification in
// English and holdings store those English names; only what is shown is translated.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace quillfern {

// The name shown for a sector or sub-industry in a language: the translation for zh-CN, zh-TW, ja-JP and
// ko-KR; the English name itself for English, for any other code and for a name the classification does
// not hold (a sector the user typed stays as typed).
QString gicsDisplayName(const QString &englishName, QStringView languageCode);

// gicsDisplayName of each name, in the same order.
QStringList gicsDisplayNames(const QStringList &englishNames, QStringView languageCode);

// The English names ordered as a picker lists them: by the names shown for them, under the collation of the
// language (pinyin for zh-CN, stroke count for zh-TW, the Japanese and Korean orders).
QStringList sortedByGicsDisplayName(QStringList englishNames, QStringView languageCode);

} // namespace quillfern

#include "text/Localization.h"

#include "text/LocalizationTables.h"

#include <QLocale>

#include <unicode/fmtable.h>
#include <unicode/msgfmt.h>

#include <mutex>
#include <vector>

namespace quillfern {
namespace {

struct Catalogue {
    QStringList keys;
    AppText::Table english;
    QHash<QString, AppText::Table> translations;
};

Catalogue build()
{
    Catalogue catalogue;
    AppText::Table simplified, traditional, japanese, korean;
    for (const std::span<const CatalogueRow> part : catalogueParts()) {
        for (const CatalogueRow &row : part) {
            const QString key = QString::fromUtf16(row.key);
            catalogue.keys.append(key);
            catalogue.english.insert(key, QString::fromUtf16(row.english));
            simplified.insert(key, QString::fromUtf16(row.simplifiedChinese));
            traditional.insert(key, QString::fromUtf16(row.traditionalChinese));
            japanese.insert(key, QString::fromUtf16(row.japanese));
            korean.insert(key, QString::fromUtf16(row.korean));
        }
    }
    catalogue.translations = {
        {QStringLiteral("en-US"), catalogue.english},
        {QStringLiteral("en-GB"), catalogue.english},
        {QStringLiteral("en-EU"), catalogue.english},
        {QStringLiteral("zh-CN"), simplified},
        {QStringLiteral("zh-TW"), traditional},
        {QStringLiteral("ja-JP"), japanese},
        {QStringLiteral("ko-KR"), korean},
    };
    return catalogue;
}

// A function-local static is initialised exactly once even when first used from two threads at once.
const Catalogue &catalogue()
{
    static const Catalogue instance = build();
    return instance;
}

// The ICU locale whose plural rules and number style a language's messages follow.
const char *messageLocale(QStringView languageCode)
{
    if (languageCode == u"zh-CN")
        return "zh_Hans";
    if (languageCode == u"zh-TW")
        return "zh_Hant";
    if (languageCode == u"ja-JP")
        return "ja";
    if (languageCode == u"ko-KR")
        return "ko";
    if (languageCode == u"en-GB")
        return "en_GB";
    return "en";
}

icu::UnicodeString unicode(const QString &text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t *>(text.utf16()), int32_t(text.size()));
}

std::mutex currentLanguageMutex;
QString currentLanguageCode = QStringLiteral("en-US");

} // namespace

const AppText::Table &AppText::english()
{
    return catalogue().english;
}

const QHash<QString, AppText::Table> &AppText::translations()
{
    return catalogue().translations;
}

const QStringList &AppText::keys()
{
    return catalogue().keys;
}

QString AppText::value(QStringView key, QStringView languageCode)
{
    const Catalogue &all = catalogue();
    const auto table = all.translations.constFind(languageCode.toString());
    const Table &chosen = table != all.translations.cend() ? *table : all.english;
    const QString name = key.toString();
    if (const auto text = chosen.constFind(name); text != chosen.cend())
        return *text;
    if (const auto text = all.english.constFind(name); text != all.english.cend())
        return *text;
    return name;
}

QString AppText::languageForTag(const QString &tag)
{
    const QLocale locale(tag);
    switch (locale.language()) {
    case QLocale::Chinese:
        // QLocale fills in the script a region implies: zh-HK and zh-TW are Traditional, zh and zh-SG Simplified.
        return locale.script() == QLocale::TraditionalHanScript ? QStringLiteral("zh-TW") : QStringLiteral("zh-CN");
    case QLocale::Japanese:
        return QStringLiteral("ja-JP");
    case QLocale::Korean:
        return QStringLiteral("ko-KR");
    case QLocale::English:
        if (locale.territory() == QLocale::UnitedKingdom)
            return QStringLiteral("en-GB");
        if (locale.territory() == QLocale::Ireland || locale.territory() == QLocale::Europe ||
            locale.territory() == QLocale::EuropeanUnion)
            return QStringLiteral("en-EU");
        return QStringLiteral("en-US");
    default:
        return {};
    }
}

QString AppText::format(QStringView key, QStringView languageCode, std::initializer_list<Argument> arguments)
{
    const QString pattern = value(key, languageCode);
    std::vector<icu::Formattable> values;
    values.reserve(arguments.size());
    for (const Argument &argument : arguments) {
        if (const auto *text = std::get_if<QString>(&argument))
            values.emplace_back(unicode(*text));
        else if (const auto *whole = std::get_if<qint64>(&argument))
            values.emplace_back(int64_t(*whole));
        else
            values.emplace_back(std::get<double>(argument));
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::MessageFormat message(unicode(pattern), icu::Locale(messageLocale(languageCode)), status);
    icu::UnicodeString result;
    icu::FieldPosition ignored;
    message.format(values.data(), int32_t(values.size()), result, ignored, status);
    if (U_FAILURE(status))
        return pattern;
    return QString(reinterpret_cast<const QChar *>(result.getBuffer()), result.length());
}

void AppText::setCurrentLanguage(const QString &languageCode)
{
    const std::lock_guard lock(currentLanguageMutex);
    currentLanguageCode = languageCode;
}

QString AppText::currentLanguage()
{
    const std::lock_guard lock(currentLanguageMutex);
    return currentLanguageCode;
}

QString AppText::text(QStringView key)
{
    return value(key, currentLanguage());
}

QString AppText::text(QStringView key, std::initializer_list<Argument> arguments)
{
    return format(key, currentLanguage(), arguments);
}

} // namespace quillfern

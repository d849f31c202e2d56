#include "text/Localization.h"

#include "text/LocalizationTables.h"

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
    for (const CatalogueRow &row : catalogueRows()) {
        const QString key = QString::fromUtf16(row.key);
        catalogue.keys.append(key);
        catalogue.english.insert(key, QString::fromUtf16(row.english));
        simplified.insert(key, QString::fromUtf16(row.simplifiedChinese));
        traditional.insert(key, QString::fromUtf16(row.traditionalChinese));
        japanese.insert(key, QString::fromUtf16(row.japanese));
        korean.insert(key, QString::fromUtf16(row.korean));
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

} // namespace quillfern

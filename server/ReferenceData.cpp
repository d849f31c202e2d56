#include "server/ReferenceData.h"

#include <QFile>

namespace quillfern::server {
namespace {

// The version of the structure in data/gics.tsv: the revision that took effect on 17 March 2023.
const QString gicsVersion = QStringLiteral("2023-03-17");

QList<GICSClassification> loadGICS()
{
    QFile file(QStringLiteral(":/quillfern/gics.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<GICSClassification> rows;
    bool header = true;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (header || line.isEmpty()) {
            header = false;
            continue;
        }
        const QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() != 8)
            return {};
        rows.append(GICSClassification{cells[0], cells[1], cells[2], cells[3], cells[4], cells[5], cells[6], cells[7],
                                       gicsVersion});
    }
    return rows;
}

} // namespace

const QList<LanguageOption> &languages()
{
    static const QList<LanguageOption> list{
        {QStringLiteral("en-US"), QStringLiteral("English (United States)"), QStringLiteral("English (US)"),
         QStringLiteral("en_US"), QStringLiteral("\U0001F1FA\U0001F1F8")},
        {QStringLiteral("en-GB"), QStringLiteral("English (United Kingdom)"), QStringLiteral("English (UK)"),
         QStringLiteral("en_GB"), QStringLiteral("\U0001F1EC\U0001F1E7")},
        {QStringLiteral("en-EU"), QStringLiteral("English (Europe)"), QStringLiteral("English (EU)"),
         QStringLiteral("en_IE"), QStringLiteral("\U0001F1EA\U0001F1FA")},
        {QStringLiteral("zh-CN"), QStringLiteral("Chinese (Simplified)"), QStringLiteral("简体中文"),
         QStringLiteral("zh_CN"), QStringLiteral("\U0001F1E8\U0001F1F3")},
        {QStringLiteral("zh-TW"), QStringLiteral("Chinese (Traditional)"), QStringLiteral("繁體中文"),
         QStringLiteral("zh_TW"), QStringLiteral("\U0001F1F9\U0001F1FC")},
        {QStringLiteral("ja-JP"), QStringLiteral("Japanese"), QStringLiteral("日本語"), QStringLiteral("ja_JP"),
         QStringLiteral("\U0001F1EF\U0001F1F5")},
        {QStringLiteral("ko-KR"), QStringLiteral("Korean"), QStringLiteral("한국어"), QStringLiteral("ko_KR"),
         QStringLiteral("\U0001F1F0\U0001F1F7")},
    };
    return list;
}

const QList<GICSClassification> &gicsClassifications()
{
    static const QList<GICSClassification> rows = loadGICS();
    return rows;
}

} // namespace quillfern::server

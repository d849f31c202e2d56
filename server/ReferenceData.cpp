#include "server/ReferenceData.h"

#include "core/WorkspaceValuation.h"

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
    return supportedLanguages();
}

const QList<GICSClassification> &gicsClassifications()
{
    static const QList<GICSClassification> rows = loadGICS();
    return rows;
}

} // namespace quillfern::server

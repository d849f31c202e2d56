#include "core/HoldingRules.h"

#include <QSet>

#include <algorithm>

namespace quillfern {

QStringList gicsSectorNames(const QList<GICSClassification> &classifications)
{
    QStringList names;
    QSet<QString> seenCodes;
    for (const auto &classification : classifications) {
        if (seenCodes.contains(classification.sectorCode))
            continue;
        seenCodes.insert(classification.sectorCode);
        names.append(classification.sectorName);
    }
    return names;
}

QStringList gicsSubIndustryNames(const QList<GICSClassification> &classifications, const QString &sectorName)
{
    QStringList names;
    for (const auto &classification : classifications) {
        if (classification.sectorName == sectorName)
            names.append(classification.subIndustryName);
    }
    return names;
}

QString keptSubIndustry(const QStringList &sectorSubIndustries, const QString &currentSubIndustry)
{
    if (sectorSubIndustries.contains(currentSubIndustry))
        return currentSubIndustry;
    return sectorSubIndustries.isEmpty() ? QString() : sectorSubIndustries.first();
}

QString subIndustryForSector(const QList<GICSClassification> &classifications, const QString &sectorName,
                             const QString &currentSubIndustry)
{
    return keptSubIndustry(gicsSubIndustryNames(classifications, sectorName), currentSubIndustry);
}

} // namespace quillfern

#pragma once

#include "core/ServiceRecords.h"

#include <QList>
#include <QString>
#include <QStringList>


namespace quillfern {

// Sector names in the order of the classification list, each once.
QStringList gicsSectorNames(const QList<GICSClassification> &classifications);
// The sub-industries the classification list files under a sector, in its order.
QStringList gicsSubIndustryNames(const QList<GICSClassification> &classifications, const QString &sectorName);

// The sub-industry a holding keeps when its sector changes to one listing `sectorSubIndustries`: the current
// one when the sector lists it, else the sector's first, else none.
QString keptSubIndustry(const QStringList &sectorSubIndustries, const QString &currentSubIndustry);
// The same rule, for the sector `sectorName` of the classification list.
QString subIndustryForSector(const QList<GICSClassification> &classifications, const QString &sectorName,
                             const QString &currentSubIndustry);

} // namespace quillfern

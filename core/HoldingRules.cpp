#include "core/HoldingRules.h"

#include <QSet>

#include <algorithm>

namespace quillfern {

std::optional<Position> applyTrade(const std::optional<Position> &held, const Trade &trade)
{
    if (!(trade.quantity > 0) || !(trade.price >= 0) || !(trade.commission >= 0))
        return std::nullopt;
    if (trade.side == Trade::Side::Sell) {
        if (!held || trade.quantity > held->quantity + 1e-9)
            return std::nullopt;
        return Position{std::max(0.0, held->quantity - trade.quantity), held->averagePrice};
    }
    const double heldQuantity = held ? held->quantity : 0;
    const double heldCost = held ? held->averagePrice * held->quantity : 0;
    const double quantity = heldQuantity + trade.quantity;
    return Position{quantity, (heldCost + trade.price * trade.quantity + trade.commission) / quantity};
}

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

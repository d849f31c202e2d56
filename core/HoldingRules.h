#pragma once

#include "core/ServiceRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern {

// A holding's size and cost per share, in the market's currency.
struct Position {
    double quantity = 0;
    double averagePrice = 0;

    bool operator==(const Position &) const = default;
};

// A trade already converted to the market's currency.
struct Trade {
    enum class Side { Buy, Sell };
    Side side = Side::Buy;
    double quantity = 0;
    double price = 0;
    double commission = 0;
};

// The position after the trade, or nothing when the trade cannot be booked: a quantity that is not positive,
// a negative price or commission, a sale larger than the holding (a rounding margin of 1e-9 is allowed) or
// with nothing held. A purchase averages its price and commission
// into the cost; a sale keeps the average and never leaves a negative quantity; selling everything leaves
// the holding at quantity 0. `held` is empty when no holding matches the trade.
std::optional<Position> applyTrade(const std::optional<Position> &held, const Trade &trade);

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

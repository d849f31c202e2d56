#include "app/holdings/AssetColumns.h"

#include "app/table/TableStyle.h"
#include "text/Localization.h"

namespace quillfern {

double &columnWidth(AssetColumnWidths &widths, AssetColumn column)
{
    switch (column) {
    case BrokerColumn:
        return widths.broker;
    case MarketColumn:
        return widths.market;
    case SectorColumn:
        return widths.sector;
    case SubSectorColumn:
        return widths.subSector;
    case CodeColumn:
        return widths.code;
    case AveragePriceColumn:
        return widths.averagePrice;
    case QuantityColumn:
        return widths.quantity;
    case CurrentPriceColumn:
        return widths.currentPrice;
    case HoldPercentColumn:
        return widths.holdPercent;
    case ValueUSDColumn:
        return widths.valueUSD;
    case DayChangeUSDColumn:
        return widths.dayChangeUSD;
    case NetUSDColumn:
        return widths.netUSD;
    case CostUSDColumn:
        return widths.costUSD;
    case ActionsColumn:
    case AssetColumnCount:
        break;
    }
    return widths.actions;
}

double columnWidth(const AssetColumnWidths &widths, AssetColumn column)
{
    return columnWidth(const_cast<AssetColumnWidths &>(widths), column);
}

QString columnTitle(AssetColumn column, const QString &languageCode, const QString &reportingCode)
{
    static const char16_t *const keys[AssetColumnCount] = {
        u"brokerage", u"market",          u"sector",      u"industry",     u"ticker",    u"avgCost", u"position",
        u"lastPrice", u"portfolioWeight", u"marketValue", u"dayChange", u"unrealizedPL", u"costBasis", u""};
    if (column == ActionsColumn)
        return QString();
    const QString title = AppText::value(QStringView(keys[column]), languageCode);
    // The day's change names no currency: its cells carry the symbol, and the title has no room to spare.
    const bool money = column == ValueUSDColumn || column == NetUSDColumn || column == CostUSDColumn;
    return money ? title + QStringLiteral(" (") + reportingCode + QLatin1Char(')') : title;
}

Qt::Alignment columnAlignment(AssetColumn column)
{
    return column >= AveragePriceColumn && column <= CostUSDColumn ? Qt::AlignRight : Qt::AlignLeft;
}

QColor columnTint(AssetColumn column, const QPalette &palette)
{
    if (column >= CurrentPriceColumn && column <= CostUSDColumn)
        return table::withOpacity(table::blue(palette), 0.25);
    const bool strong = column == BrokerColumn || column == ActionsColumn;
    return table::withOpacity(table::green(palette), strong ? 0.25 : 0.18);
}

const QStringList &marketOptions()
{
    static const QStringList markets{QStringLiteral("US"), QStringLiteral("HK"), QStringLiteral("CN"),
                                     QStringLiteral("JP"), QStringLiteral("EU")};
    return markets;
}

QStringList includingCurrent(const QString &current, const QStringList &options)
{
    if (current.isEmpty() || options.contains(current))
        return options;
    return QStringList{current} + options;
}

} // namespace quillfern

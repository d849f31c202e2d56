#pragma once

// The fourteen columns of the holdings table: display order, default widths, titles and tints.

#include <QColor>
#include <QPalette>
#include <QString>
#include <QStringList>

namespace quillfern {

// Widths in the order they are stored; the display order (broker first) is AssetColumn's.
struct AssetColumnWidths {
    double market = 64;
    double sector = 130;
    double subSector = 135;
    double code = 72;
    double averagePrice = 100;
    double quantity = 76;
    double currentPrice = 96;
    double holdPercent = 116;
    double valueUSD = 132;
    double dayChangeUSD = 128;
    double netUSD = 142;
    double costUSD = 128;
    double broker = 100;
    double actions = 72;

    bool operator==(const AssetColumnWidths &) const = default;
};

enum AssetColumn {
    BrokerColumn,
    MarketColumn,
    SectorColumn,
    SubSectorColumn,
    CodeColumn,
    AveragePriceColumn,
    QuantityColumn,
    CurrentPriceColumn,
    HoldPercentColumn,
    ValueUSDColumn,
    DayChangeUSDColumn,
    NetUSDColumn,
    CostUSDColumn,
    ActionsColumn,
    AssetColumnCount
};

double &columnWidth(AssetColumnWidths &widths, AssetColumn column);
double columnWidth(const AssetColumnWidths &widths, AssetColumn column);

// The header title of a column in a language; the money columns but the day's change end in " (<reporting code>)".
QString columnTitle(AssetColumn column, const QString &languageCode, const QString &reportingCode);
Qt::Alignment columnAlignment(AssetColumn column);
QColor columnTint(AssetColumn column, const QPalette &palette);

// The markets a row can be put in, in picker order.
const QStringList &marketOptions();

// options, with current in front when it is not empty and not already offered.
QStringList includingCurrent(const QString &current, const QStringList &options);

} // namespace quillfern

#pragma once

// The titles of the columns and tables the app exports, in every language it speaks. They belong to the
// file format rather than to the window: the importer recognises an exported ledger by its titles, so
// both sides read them from here.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace quillfern::exchange {

enum class ExportLanguage { English, SimplifiedChinese, TraditionalChinese, Japanese, Korean };
inline constexpr int exportLanguageCount = 5;

// The app's language codes ("en-US", "en-GB", "en-EU", "zh-CN", "zh-TW", "ja-JP", "ko-KR") and script
// tags ("zh-Hans", "zh-Hant", "zh-HK"); English for anything else.
ExportLanguage exportLanguage(QStringView languageCode);

// The ledger's columns as written. The first ledgerImportColumnCount are one per field an import reads,
// in the order of ImportField; the ones after them are derived figures an import leaves alone.
enum class LedgerColumn {
    Date,       // yyyy-MM-dd, the UTC day of the trade
    Type,       // the wire word: BUY, SELL, DIVIDEND...
    Code,
    Market,
    Quantity,
    Price,
    Commission,
    Currency,
    Amount,     // cash-only types
    Broker,
    Note,
    Sector,
    SubSector,
    SplitRatio, // new shares per old share
    RealizedGain,
    ValueInReporting,
    RealizedGainInReporting,
    ColumnCount
};
inline constexpr int ledgerImportColumnCount = 14;

enum class HoldingColumn {
    Broker,
    Market,
    Code,
    Sector,
    SubSector,
    Quantity,
    AverageCost,
    Price,
    Currency,
    Cost,
    MarketValue,
    Gain,
    ReturnPercent,
    CostInReporting,
    MarketValueInReporting,
    GainInReporting,
    WeightPercent,
    ColumnCount
};

enum class CashColumn { Broker, Currency, Balance, ValueInReporting, WeightPercent, ColumnCount };

enum class ExportTableKind { Holdings, Cash, Ledger };

// A column's title; the titles of reporting-currency columns name the currency ("Value (JPY)").
QString columnTitle(LedgerColumn column, ExportLanguage language, const QString &reportingCurrency = {});
QString columnTitle(HoldingColumn column, ExportLanguage language, const QString &reportingCurrency = {});
QString columnTitle(CashColumn column, ExportLanguage language, const QString &reportingCurrency = {});

// The ledger's header row exactly as an export writes it.
QStringList ledgerExportHeaders(ExportLanguage language, const QString &reportingCurrency);

// The titles of the columns an import reads back (the first ledgerImportColumnCount, in ImportField
// order), one list per language: English, Simplified Chinese, Traditional Chinese, Japanese, Korean.
QList<QStringList> ledgerImportHeaderSets();

// A table's name: the workbook's sheet name and part of the CSV file's name.
QString tableName(ExportTableKind kind, ExportLanguage language);

} // namespace quillfern::exchange

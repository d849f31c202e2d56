#pragma once

// The holdings, cash and ledger as tables to write out: each row with its own figures in its own currency
// and, beside them, the figures in the user's reporting currency at the workspace's rates, valued by the
// same code the pages use. The writers (CsvWriter, XlsxWorkbook) only lay these out.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"
#include "core/exchange/ExportColumns.h"

#include <QDate>
#include <QList>
#include <QString>

#include <variant>

namespace quillfern::exchange {

// What a column's figures are, for the number format a workbook gives them; CSV writes every number plainly.
enum class ExportFormat {
    Text,
    Date,
    Quantity,
    Money,   // in the cell's currency, rounded to its minor unit when derived
    Percent, // percentage points: 12.5 is 12.5 %
    Ratio,
};

struct ExportCell {
    std::variant<std::monostate, QString, double, QDate> value;
    QString currency; // Money: the ISO code of the figure's currency

    bool isEmpty() const { return std::holds_alternative<std::monostate>(value); }
    bool operator==(const ExportCell &) const = default;
};

struct ExportColumn {
    QString title;
    ExportFormat format = ExportFormat::Text;

    bool operator==(const ExportColumn &) const = default;
};

struct ExportTable {
    ExportTableKind kind = ExportTableKind::Holdings;
    QString name; // in the user's language
    QList<ExportColumn> columns;
    QList<QList<ExportCell>> rows;
};

// What the tables are made from: the working copy as the window shows it.
struct ExportSource {
    QList<AssetRow> holdings;
    QList<CashRow> cashRows;
    QList<TransactionRecord> transactions;
    QList<CurrencyOption> rates; // the workspace's list of currencies with their US-dollar rates
    CurrencyOption reporting;
    QString languageCode; // the app's ("ja-JP")
};

// One row per holding, in the working copy's order.
ExportTable holdingsTable(const ExportSource &source);
// One row per cash balance, in the working copy's order.
ExportTable cashTable(const ExportSource &source);
// One row per transaction, oldest first; the columns are LedgerColumn's.
ExportTable ledgerTable(const ExportSource &source);
ExportTable exportTable(ExportTableKind kind, const ExportSource &source);

// The minor-unit digits of a currency (2 for USD, 0 for JPY); 2 for a code ICU does not know.
int currencyDecimals(const QString &currency);

} // namespace quillfern::exchange

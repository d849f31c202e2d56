#pragma once

// Tables as RFC 4180 CSV: UTF-8, CRLF after every record, a field quoted when it holds the delimiter, a
// quote, a line break or blanks at either end, its quotes doubled. Numbers are plain ("1234.5": a point,
// no grouping, no exponent) and days are yyyy-MM-dd, so the file reads the same in every locale and the
// app's own importer takes an exported ledger back.

#include "core/exchange/ExportFile.h"
#include "core/exchange/ExportTables.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <optional>

namespace quillfern::exchange {

struct CsvOptions {
    // Spreadsheet programs read a file without one in the system's legacy code page, which garbles CJK.
    bool byteOrderMark = false;
    QChar delimiter = u',';
};

// One field as written, quoted when it has to be.
QString csvField(const QString &text, QChar delimiter = u',');
// The shortest text that reads back as the same double, without grouping or exponent; empty when the
// value is not finite.
QString plainNumber(double value);
// A cell as its CSV text (unquoted).
// A text cell that starts like a formula is written behind an apostrophe.
QString csvText(const ExportCell &cell);

QByteArray csvBytes(const ExportTable &table, const CsvOptions &options = {});
std::optional<ExportFileError> writeCsv(const ExportTable &table, const QString &path, const CsvOptions &options = {});

} // namespace quillfern::exchange

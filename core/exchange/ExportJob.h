#pragma once

// One export as the dialog asks for it: which tables, CSV files into a folder or one workbook, made from a
// snapshot of the working copy. Safe to run on a worker thread.

#include "core/exchange/ExportFile.h"
#include "core/exchange/ExportTables.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillfern::exchange {

enum class ExportFileFormat { Csv, Xlsx };

struct ExportRequest {
    QList<ExportTableKind> tables;
    ExportFileFormat format = ExportFileFormat::Csv;
    QString destination; // Csv: the folder; Xlsx: the workbook's path
    bool byteOrderMark = false; // Csv only
    QDate day;                  // named in the CSV files
};

struct ExportOutcome {
    QStringList written; // the files, in table order
    std::optional<ExportFileError> error;
};

ExportOutcome runExport(const ExportRequest &request, const ExportSource &source);

// Where a table's CSV file goes: "Quillfern <table> <yyyy-MM-dd>.csv" in the folder, with " (2)", " (3)"...
// before the extension when the name is taken, so an export never replaces a file.
QString csvFilePath(const QString &folder, const QString &tableName, QDate day);

// The workbook's name the save dialog proposes: "Quillfern <yyyy-MM-dd>.xlsx".
QString workbookFileName(QDate day);

} // namespace quillfern::exchange

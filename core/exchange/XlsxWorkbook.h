#pragma once

// Tables as one workbook, a sheet per table: numbers as numeric cells with number formats (money at its
// currency's minor unit, percentages as percentages), days as dates, the header row bold and frozen, and
// columns wide enough for what they hold.

#include "core/exchange/ExportFile.h"
#include "core/exchange/ExportTables.h"

#include <QList>
#include <QString>

#include <optional>

namespace quillfern::exchange {

// Replaces path only once the whole workbook is written.
std::optional<ExportFileError> writeWorkbook(const QList<ExportTable> &tables, const QString &path);

// A column's width in characters: its widest cell among the first rows, East Asian wide characters
// counting two, within bounds a screen can show.
double columnWidth(const ExportTable &table, qsizetype column);

} // namespace quillfern::exchange

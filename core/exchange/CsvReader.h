#pragma once

#include "core/exchange/ImportProblem.h"

#include <QChar>
#include <QList>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace quillfern::exchange {

struct CsvDialect {
    QChar delimiter = u',';
    QChar quote = u'"';

    bool operator==(const CsvDialect &) const = default;
};

// The delimiter (comma, semicolon, tab or bar) that splits the first lines most consistently.
CsvDialect sniffDialect(QStringView text);

struct CsvRecord {
    QStringList fields;
    int line = 0; // the physical line the record starts on, from 1

    bool operator==(const CsvRecord &) const = default;
};

struct CsvTable {
    QList<CsvRecord> records;
    std::optional<ImportProblem> problem;
    bool cancelled = false;
};

// RFC 4180 records: quoted fields may hold delimiters, doubled quotes and line breaks; lines end in CRLF,
// LF or CR. Fully blank lines are skipped. An unterminated quote is a problem naming the line it opened
// on; the records before it are kept.
CsvTable readCsv(QStringView text, CsvDialect dialect, const ProgressFn &progress = {});

// Whether a spreadsheet program would take a text as a formula: it starts with = + - @, a tab or a CR. Our
// own export writes such a text behind an apostrophe, which the importer takes off.
inline bool startsLikeFormula(QStringView text)
{
    return !text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front());
}

} // namespace quillfern::exchange

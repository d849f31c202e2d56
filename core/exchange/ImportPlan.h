#pragma once

#include "core/ServiceRecords.h"
#include "core/exchange/ImportMapping.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace quillfern::exchange {

struct ImportRow {
    enum class Outcome { Ok, Duplicate, Error };
    int line = 0;
    Outcome outcome = Outcome::Ok;
    TransactionCreateInput input;         // for Ok and Duplicate; tradedAt is the day at 12:00 UTC, ISO 8601
    std::optional<ImportProblem> problem; // for Error: why
};

struct ImportPlan {
    QList<ImportRow> rows;
    int ok = 0, duplicates = 0, errors = 0;
    bool cancelled = false;
    // Set when the file as a whole cannot be planned (no rows after the header, ...).
    std::optional<ImportProblem> problem;
};

// Every data record as the transaction it becomes, a duplicate of one in booked (duplicateKey() of the
// ledger's transactions), or the error that stops it. Linear in the size of the table.
ImportPlan planImport(const CsvTable &table, const ImportMapping &mapping, const QSet<QString> &booked,
                      const ProgressFn &progress = {});

// "MARKET:CODE" (upper case) of the codes the plan would open that heldCodes (same form) lacks and no row
// classifies with a sector and sub-industry: the user picks those before the import.
QStringList unclassifiedCodes(const ImportPlan &plan, const QSet<QString> &heldCodes);

} // namespace quillfern::exchange

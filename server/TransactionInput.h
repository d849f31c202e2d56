#pragma once

#include "core/ServiceRecords.h"

#include <optional>

namespace quillfern::server {

// An internet date-time, such as 2024-05-01T09:30:00Z (fractions and a numeric offset allowed), as
// milliseconds since the epoch.
std::optional<qint64> parseTradeTime(const QString &text);

struct InputProblem {
    QString message;
    QString field; // on the wire's spelling
};

// What each type of transaction needs before the ledger is asked: the ledger itself judges what depends on
// the holdings.
std::optional<InputProblem> transactionProblem(const TransactionCreateInput &input);

} // namespace quillfern::server

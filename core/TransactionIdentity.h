#pragma once

#include "core/ServiceRecords.h"

#include <QString>

namespace quillfern {

// What makes two transactions the same booking for an import: the day (UTC) they were traded, the code,
// the type, the quantity, the price, the amount and the broker. Codes and types compare without case,
// brokers without case or surrounding spaces, figures to eight significant digits. Two identical rows in
// one file stay two bookings; only a row matching one already in the ledger is a duplicate.
QString duplicateKey(const TransactionCreateInput &input);
QString duplicateKey(const TransactionRecord &record);

} // namespace quillfern

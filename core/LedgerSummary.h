#pragma once

// What the ledger as the service sent it adds up to: gains realised by sells and income from dividends and
// interest after tax, in US dollars, for one calendar year or for all time; and the positions the ledger
// closed, with what they realised. Only the figures the service computed are summed: rows that lack
// them (older services) count for nothing.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"

#include <QList>
#include <QString>

#include <optional>

namespace quillfern {

struct LedgerEarnings {
    double realizedGainUsd = 0; // the sum of realizedGainUsd
    double incomeUsd = 0;       // dividends + interest − tax, each amount × fxToUsd

    bool operator==(const LedgerEarnings &) const = default;
};

// The UTC calendar year of an ISO 8601 trade time, or none when the text is not one.
std::optional<int> tradeYear(const QString &tradedAt);

// The earnings of the transactions traded in year (UTC), or of all of them when year is none. Income rows
// without fxToUsd or amount, and sells without realizedGainUsd, are skipped.
LedgerEarnings ledgerEarnings(const QList<TransactionRecord> &transactions, std::optional<int> year = std::nullopt);

struct ClosedPositionSummary {
    QString broker;
    QString market;
    QString code;
    QString currency;        // of the position's sells; empty when they were in several
    double realizedGain = 0; // in currency; meaningful only when currency is not empty
    double realizedGainUsd = 0;

    bool operator==(const ClosedPositionSummary &) const = default;
};

// The (broker, market, code) keys with a SELL or TRANSFER_OUT row and no holding of them left (a row with a
// quantity above zero), in the order the ledger first sold them, each with the gains its sells realised.
QList<ClosedPositionSummary> closedPositions(const QList<TransactionRecord> &transactions,
                                             const QList<AssetRow> &holdings);

} // namespace quillfern

#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace quillfern {

// One row of the holdings table, as the user keeps it. Prices are in the market's own currency.
struct AssetRow {
    QString id;
    QString market;
    QString sector;
    QString subSector;
    QString code;
    QString broker;
    double averagePrice = 0;
    double quantity = 0;
    double currentPrice = 0;

    bool operator==(const AssetRow &) const = default;
};

// One row of the cash-balances table. serverFXToUSD is the service's rate for this balance, when it
// gave one; it wins over the built-in rate table.
struct CashRow {
    QString id;
    QString broker;
    double originalCash = 0;
    QString currency;
    std::optional<double> serverFXToUSD;

    bool operator==(const CashRow &) const = default;
};

// A fresh row identifier: a random version 4 UUID, upper-case, 36 characters.
QString newRowID();

} // namespace quillfern

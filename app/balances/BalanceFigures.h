#pragma once

// The figures of the balance page, computed afresh from the cash rows and the holdings summary whenever
// the page draws. Nothing here knows about widgets.

#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"
#include "core/analysis/PortfolioRecords.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quillfern {

// Display widths of the balance table in points, in column order. Page state, never stored.
struct BalanceColumnWidths {
    double broker = 130;
    double currency = 105;
    double originalCash = 180;
    double cashValue = 155;
    double holdingsValue = 175;
    double investedWeight = 130;
    double accountValue = 185;
    double actions = 88;

    bool operator==(const BalanceColumnWidths &) const = default;
};

// What the workspace hands the balance page besides the cash rows themselves.
struct BalanceInputs {
    double holdingValueUSD = 0;
    std::vector<AllocationItem> holdingByBroker;
    CurrencyOption reportingCurrency;
    QList<CurrencyOption> supportedCurrencies;
    QStringList brokerageOptions;
    LanguageOption language;
    bool isSaving = false;
};

// Labels with US-dollar values. Ordered by label, so that equal values always come out in one order.
using ValuesByLabel = QMap<QString, double>;

// The positive entries as allocation buckets, largest first; percentages are of the sum of every value,
// zero and negative ones included, and 0 when that sum is not above 0.
std::vector<AllocationItem> allocation(const ValuesByLabel &values);

// The brokers a cash row may use: the workspace's names, or the six defaults in their stored order.
QStringList brokerOptions(const QStringList &brokerageOptions);

// The currencies a new row may take: the service's list, or six built-in codes at the built-in rates.
QList<CurrencyOption> candidateCurrencies(const QList<CurrencyOption> &supportedCurrencies);

// Whether a row other than exceptID already holds broker and currency, both compared ignoring case.
bool isTakenPair(const QList<CashRow> &rows, const QString &exceptID, const QString &broker, const QString &currency);

// The id of the first row of broker (exact), in list order.
std::optional<QString> firstCashRowID(const QList<CashRow> &rows, const QString &broker);

// The broker figures one table row shows; only a broker's first row carries them.
struct BalanceRowFigures {
    double cashValueUsd = 0;
    bool isFirst = false;
    double holdingsUsd = 0;
    double accountUsd = 0;
};

struct BalanceFigures {
    double holdingValueUSD = 0;
    double cashValueUSD = 0;
    ValuesByLabel brokerCashTotals;
    ValuesByLabel brokerHoldingTotals;
    std::vector<AllocationItem> cashByAccount;
    std::vector<AllocationItem> holdingVsCash;
    std::vector<AllocationItem> totalByBroker;

    double totalAssetUSD() const { return holdingValueUSD + cashValueUSD; }
    BalanceRowFigures row(const QList<CashRow> &rows, const CashRow &row) const;
};

BalanceFigures balanceFigures(const QList<CashRow> &rows, const BalanceInputs &inputs);

} // namespace quillfern

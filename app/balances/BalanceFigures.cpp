#include "app/balances/BalanceFigures.h"

#include "core/CurrencyCatalog.h"
#include "core/WorkspaceValuation.h"
#include "text/Localization.h"

#include <algorithm>

namespace quillfern {

std::vector<AllocationItem> allocation(const ValuesByLabel &values)
{
    double total = 0;
    for (const double value : values)
        total += value;

    std::vector<AllocationItem> items;
    for (auto entry = values.cbegin(); entry != values.cend(); ++entry) {
        if (!(entry.value() > 0))
            continue;
        const double share = total > 0 ? entry.value() / total * 100 : 0;
        items.push_back(AllocationItem{entry.key().toStdString(), entry.value(), share});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const AllocationItem &a, const AllocationItem &b) { return a.valueUsd > b.valueUsd; });
    return items;
}

QStringList brokerOptions(const QStringList &brokerageOptions)
{
    if (!brokerageOptions.isEmpty())
        return brokerageOptions;
    // Unlike the workspace's fallback these keep their stored order: this list is never sorted.
    return defaultBrokerageNames();
}

QList<CurrencyOption> candidateCurrencies(const QList<CurrencyOption> &supportedCurrencies)
{
    if (!supportedCurrencies.isEmpty())
        return supportedCurrencies;
    QList<CurrencyOption> builtIn;
    for (const char *code : {"USD", "HKD", "CNY", "JPY", "EUR", "GBP"}) {
        CurrencyOption option;
        option.code = QString::fromLatin1(code);
        option.symbol = CurrencyCatalog::symbol(option.code);
        option.fxToUsd = CurrencyCatalog::fxToUSD(option.code);
        builtIn.append(option);
    }
    return builtIn;
}

bool isTakenPair(const QList<CashRow> &rows, const QString &exceptID, const QString &broker, const QString &currency)
{
    return std::any_of(rows.cbegin(), rows.cend(), [&](const CashRow &row) {
        return row.id != exceptID && row.broker.compare(broker, Qt::CaseInsensitive) == 0 &&
               row.currency.compare(currency, Qt::CaseInsensitive) == 0;
    });
}

std::optional<QString> firstCashRowID(const QList<CashRow> &rows, const QString &broker)
{
    for (const CashRow &row : rows) {
        if (row.broker == broker)
            return row.id;
    }
    return std::nullopt;
}

BalanceRowFigures BalanceFigures::row(const QList<CashRow> &rows, const CashRow &row) const
{
    BalanceRowFigures figures;
    figures.cashValueUsd = cashValueUsd(row);
    figures.isFirst = firstCashRowID(rows, row.broker) == row.id;
    figures.holdingsUsd = brokerHoldingTotals.value(row.broker, 0);
    figures.accountUsd = figures.holdingsUsd + brokerCashTotals.value(row.broker, 0);
    return figures;
}

BalanceFigures balanceFigures(const QList<CashRow> &rows, const BalanceInputs &inputs)
{
    BalanceFigures figures;
    figures.holdingValueUSD = inputs.holdingValueUSD;
    figures.cashValueUSD = totalCashUsd(rows);
    for (const CashRow &row : rows)
        figures.brokerCashTotals[row.broker] += cashValueUsd(row);
    for (const AllocationItem &item : inputs.holdingByBroker)
        figures.brokerHoldingTotals.insert(QString::fromStdString(item.label), item.valueUsd);

    ValuesByLabel total = figures.brokerCashTotals;
    for (auto holding = figures.brokerHoldingTotals.cbegin(); holding != figures.brokerHoldingTotals.cend(); ++holding)
        total[holding.key()] += holding.value();

    const QString language = inputs.language.code;
    ValuesByLabel composition;
    composition.insert(AppText::value(u"investments", language), figures.holdingValueUSD);
    composition.insert(AppText::value(u"cash", language), figures.cashValueUSD);

    figures.cashByAccount = allocation(figures.brokerCashTotals);
    figures.holdingVsCash = allocation(composition);
    figures.totalByBroker = allocation(total);
    return figures;
}

} // namespace quillfern

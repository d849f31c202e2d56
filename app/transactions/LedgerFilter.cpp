#include "app/transactions/LedgerFilter.h"

#include "app/workspace/TransactionRules.h"
#include "core/LedgerSummary.h"

#include <QCollator>

#include <algorithm>

namespace quillfern {

LedgerFilterOptions ledgerFilterOptions(const QList<TransactionRecord> &records, const QString &locale)
{
    LedgerFilterOptions options;
    QStringList laterTypes;
    for (const TransactionRecord &record : records) {
        if (!record.broker.isEmpty() && !options.brokers.contains(record.broker))
            options.brokers.append(record.broker);
        if (!record.code.isEmpty() && !options.codes.contains(record.code))
            options.codes.append(record.code);
        if (!transactionTypes().contains(record.transactionType) && !laterTypes.contains(record.transactionType))
            laterTypes.append(record.transactionType);
        if (const auto year = tradeYear(record.tradedAt); year && !options.years.contains(*year))
            options.years.append(*year);
    }
    QCollator collator{QLocale(locale)};
    collator.setNumericMode(true);
    const auto collated = [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; };
    std::sort(options.brokers.begin(), options.brokers.end(), collated);
    std::sort(options.codes.begin(), options.codes.end(), collated);
    std::sort(laterTypes.begin(), laterTypes.end());
    for (const QString &type : transactionTypes()) {
        const bool used = std::any_of(records.cbegin(), records.cend(), [&type](const TransactionRecord &record) {
            return record.transactionType == type;
        });
        if (used)
            options.types.append(type);
    }
    options.types += laterTypes;
    std::sort(options.years.begin(), options.years.end(), std::greater<>());
    return options;
}

LedgerFilter::LedgerFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(TransactionLedgerModel::RawValueRole);
    setSortLocaleAware(true);
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

void LedgerFilter::setChoice(const LedgerFilterChoice &choice)
{
    if (choice == m_choice)
        return;
    m_choice = choice;
    invalidateRowsFilter();
}

const TransactionRecord *LedgerFilter::record(const QModelIndex &index) const
{
    const auto *ledger = qobject_cast<const TransactionLedgerModel *>(sourceModel());
    const QModelIndex source = mapToSource(index);
    if (!ledger || !source.isValid())
        return nullptr;
    return &ledger->transactions().at(source.row());
}

bool LedgerFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto *ledger = qobject_cast<const TransactionLedgerModel *>(sourceModel());
    if (!ledger || sourceParent.isValid())
        return false;
    const TransactionRecord &record = ledger->transactions().at(sourceRow);
    return (m_choice.broker.isEmpty() || record.broker == m_choice.broker) &&
           (m_choice.code.isEmpty() || record.code == m_choice.code) &&
           (m_choice.type.isEmpty() || record.transactionType == m_choice.type) &&
           (!m_choice.year || tradeYear(record.tradedAt) == m_choice.year);
}

} // namespace quillfern

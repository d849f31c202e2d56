#pragma once

// The ledger as the page shows it: the rows of one broker, code, type and year (each or all), in the order
// of any column, by the cells' own values rather than their texts.

#include "app/transactions/TransactionLedgerModel.h"

#include <QSortFilterProxyModel>
#include <QStringList>

#include <optional>

namespace quillfern {

// What one filter keeps; an empty text or no year keeps everything.
struct LedgerFilterChoice {
    QString broker;
    QString code;
    QString type;
    std::optional<int> year;

    bool operator==(const LedgerFilterChoice &) const = default;
};

// The values each filter offers for the records: brokers and codes in ICU order for the locale, types in
// the sheet's order with later words after them, years newest first.
struct LedgerFilterOptions {
    QStringList brokers;
    QStringList codes;
    QStringList types;
    QList<int> years;

    bool operator==(const LedgerFilterOptions &) const = default;
};
LedgerFilterOptions ledgerFilterOptions(const QList<TransactionRecord> &records, const QString &locale);

class LedgerFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit LedgerFilter(QObject *parent = nullptr);

    const LedgerFilterChoice &choice() const { return m_choice; }
    void setChoice(const LedgerFilterChoice &choice);
    // The record a row of this model shows.
    const TransactionRecord *record(const QModelIndex &index) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    LedgerFilterChoice m_choice;
};

} // namespace quillfern

#pragma once

// The cash rows as a table of eight columns with the shared cell roles: one row per cash row, the
// broker's figures on its first row only, the editing row's fields writing through the page's rules.

#include "app/balances/BalanceFigures.h"

#include <QAbstractTableModel>
#include <QPalette>

namespace quillfern {

class BalanceEditor;

class BalanceTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        BrokerColumn,
        CurrencyColumn,
        OriginalCashColumn,
        CashValueColumn,
        HoldingsValueColumn,
        InvestedWeightColumn,
        AccountValueColumn,
        ActionsColumn,
        ColumnCount
    };

    static double &columnWidth(BalanceColumnWidths &widths, int column);
    static double columnWidth(const BalanceColumnWidths &widths, int column);
    static QString columnTitle(int column, const QString &languageCode, const QString &reportingCode);

    explicit BalanceTableModel(BalanceEditor &editor, QObject *parent = nullptr);

    // Reads the rows and figures again: a reset when rows came or went, else every cell changed.
    void refresh();
    void setPalette(const QPalette &palette);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    int rowOf(const QString &id) const;
    QString idAt(int row) const;
    const QList<CashRow> &rows() const { return m_rows; }
    const BalanceFigures &figures() const { return m_figures; }
    const BalanceInputs &inputs() const { return m_inputs; }

private:
    QString displayText(const CashRow &row, int column) const;
    bool isEditing(const CashRow &row) const;

    BalanceEditor &m_editor;
    QPalette m_palette;
    QList<CashRow> m_rows;
    BalanceInputs m_inputs;
    BalanceFigures m_figures;
};

} // namespace quillfern

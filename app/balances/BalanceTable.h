#pragma once

// The balance table: header, cash rows and total row in one rounded frame, as tall as its rows. Plain
// rows are painted by the shared cell delegate; the row in edit mode gets fresh fields each time.

#include "app/balances/BalanceFigures.h"

#include "app/table/RowEditors.h"

#include <QFrame>
#include <QPersistentModelIndex>

#include <optional>

class QTableView;

namespace quillfern {

class BalanceEditor;
class BalanceTableModel;

namespace table {
class CellDelegate;
class ResizableHeader;
class TotalRowView;
} // namespace table

class BalanceTable : public QFrame {
    Q_OBJECT

public:
    explicit BalanceTable(BalanceEditor &editor, QWidget *parent = nullptr);

    // The rows, figures or texts changed.
    void refresh();

    QTableView *view() const { return m_view; }
    table::ResizableHeader *header() const { return m_header; }
    table::TotalRowView *totalRow() const { return m_total; }
    BalanceTableModel *model() const { return m_model; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void syncEditors();
    void refreshEditors();
    void updateTotals();
    void fitHeight();

    BalanceEditor &m_editor;
    BalanceTableModel *m_model;
    QTableView *m_view;
    table::ResizableHeader *m_header;
    table::CellDelegate *m_delegate;
    table::TotalRowView *m_total;
    QWidget *m_outline;
    table::RowEditors m_rowEditors;
};

} // namespace quillfern

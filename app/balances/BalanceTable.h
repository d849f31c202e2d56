#pragma once

// The balance table: header, cash rows and total row in one rounded frame, as tall as its rows. Plain
// rows are painted by the shared cell delegate; the row in edit mode gets fresh fields each time.

#include "app/balances/BalanceFigures.h"

#include "app/table/RowEditors.h"

#include <QFrame>
#include <QPersistentModelIndex>

#include <optional>

class QSettings;
class QTableView;

namespace quillfern {

class BalanceEditor;
class BalanceTableModel;

namespace table {
class CellDelegate;
class ResizableHeader;
class RowsProxy;
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
    // Between the model and the view: the order and the filter. View rows map to model rows through it.
    table::RowsProxy *proxy() const { return m_proxy; }
    // The order chosen by clicking a header is read from and kept in settings.
    void keepOrderIn(QSettings &settings);
    // Whether the row in edit mode, if any, may be left for another: every number typed in it reads.
    // Otherwise the first refused field takes the focus, still marked.
    bool readyToLeaveRow() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void syncEditors();
    void refreshEditors();
    void updateTotals();
    void fitHeight();

    BalanceEditor &m_editor;
    BalanceTableModel *m_model;
    table::RowsProxy *m_proxy;
    QSettings *m_orderSettings = nullptr;
    QTableView *m_view;
    table::ResizableHeader *m_header;
    table::CellDelegate *m_delegate;
    table::TotalRowView *m_total;
    QWidget *m_outline;
    table::RowEditors m_rowEditors;
};

} // namespace quillfern

#pragma once

// The holdings table: header, rows and total row in one rounded frame. Plain rows are painted by the
// shared cell delegate; the editing row gets its fields as persistent editors, fresh each time a row
// enters edit mode.

#include "app/holdings/AssetColumns.h"

#include "app/table/RowEditors.h"

#include <QFrame>
#include <QPersistentModelIndex>
#include <QPointer>

#include <QMessageBox>
class QSettings;
class QTableView;

namespace quillfern {

class HoldingsTableModel;
class HoldingsEditor;
class Workspace;

namespace table {
class CellDelegate;
class ResizableHeader;
class RowsProxy;
class TotalRowView;
} // namespace table

class HoldingsTable : public QFrame {
    Q_OBJECT

public:
    HoldingsTable(Workspace &workspace, HoldingsEditor &editor, QWidget *parent = nullptr);

    QTableView *view() const { return m_view; }
    table::ResizableHeader *header() const { return m_header; }
    table::TotalRowView *totalRow() const { return m_total; }
    HoldingsTableModel *model() const { return m_model; }
    // Between the model and the view: the order and the filter. View rows map to model rows through it.
    table::RowsProxy *proxy() const { return m_proxy; }
    // The order chosen by clicking a header is read from and kept in settings.
    void keepOrderIn(QSettings &settings);
    // Whether the row in edit mode, if any, may be left for another: every number typed in it reads.
    // Otherwise the first refused field takes the focus, still marked.
    bool readyToLeaveRow() const;
    const AssetColumnWidths &widths() const { return m_widths; }
    // The "Unable to Save Row" alert while one is shown.
    QMessageBox *rowErrorAlert() const { return m_alert; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void syncEditors();
    void refreshEditors();
    void updateTotals();
    void showRowError();

    Workspace &m_workspace;
    HoldingsEditor &m_editor;
    HoldingsTableModel *m_model;
    table::RowsProxy *m_proxy;
    QSettings *m_orderSettings = nullptr;
    QTableView *m_view;
    table::ResizableHeader *m_header;
    table::CellDelegate *m_delegate;
    table::TotalRowView *m_total;
    QWidget *m_outline;
    AssetColumnWidths m_widths;
    table::RowEditors m_rowEditors;
    QPointer<QMessageBox> m_alert;
};

} // namespace quillfern

#pragma once

// The holdings table's rules and local state, free of widgets: the selected row, edit mode with its copy
// for cancel, the checks on save, add and delete. The rows themselves stay the workspace's; this class
// reads and writes them through HoldingRows, and every change the user completes (a saved row, an added
// row, a deleted row) is a command on the account's undo stack, so it can be undone before or after the
// service stored it. An undo writes the rows and asks for a save like any edit.

#include "app/workspace/HoldingRows.h"

#include <QObject>

#include <optional>

class QUndoStack;

namespace quillfern {

class HoldingsEditor : public QObject {
    Q_OBJECT

public:
    HoldingsEditor(HoldingRows &rows, QUndoStack &undoStack, QObject *parent = nullptr);

    HoldingRows &rows() const { return m_rows; }
    QUndoStack &undoStack() const { return m_undoStack; }

    const std::optional<QString> &selectedRowID() const { return m_selectedRowID; }
    const std::optional<QString> &editingRowID() const { return m_editingRowID; }
    const std::optional<AssetRow> &originalEditingRow() const { return m_originalEditingRow; }
    // The row in edit mode was added and never saved: cancelling it takes it away again.
    bool isEditingNewRow() const { return m_editingNewRow; }
    const std::optional<QString> &rowEditError() const { return m_rowEditError; }
    // The last change was a delete that the status line offers to undo.
    bool offersUndo() const { return m_offersUndo; }

    AssetRow newRow() const;
    // Appends a new row and begins editing it; returns its id, or none when the row in edit mode could
    // not be left.
    QString addRow();
    // A row in edit mode is left first, as moving to another row of a spreadsheet does: one added and
    // left as it was goes away, any other is saved. When its save is refused, it stays in edit mode with
    // the reason and the other row is not entered.
    void beginEditing(const AssetRow &row);
    void saveEditingRow();
    void cancelEditing();
    void deleteRow(const QString &id);
    void selectRow(const std::optional<QString> &id);
    // The alert of a rejected save was dismissed.
    void dismissRowEditError();

Q_SIGNALS:
    // selection, edit mode, rowEditError, offersUndo.
    void editingChanged();

private:
    // The rows were replaced (a load, a sign-out) or one was removed (an undo): a selected or editing row
    // that is gone is let go, so that its old copy can never be put back over a row of the same id loaded
    // afresh.
    void rowsWereReset();
    // An undo or redo is about to write the row with this id: a row in edit mode leaves it first.
    void rowAboutToBeWritten(const QString &id);
    void leaveEditing();
    // Leaves edit mode ahead of editing the row with this id (none for a new row); false when the row
    // in edit mode stays in it.
    bool leaveEditingFor(const QString &id);
    int indexOfRow(const QString &id) const;
    QString language() const { return m_rows.displayLanguageCode(); }

    HoldingRows &m_rows;
    QUndoStack &m_undoStack;
    std::optional<QString> m_selectedRowID;
    std::optional<QString> m_editingRowID;
    std::optional<AssetRow> m_originalEditingRow;
    bool m_editingNewRow = false;
    std::optional<QString> m_rowEditError;
    bool m_offersUndo = false;
};

} // namespace quillfern

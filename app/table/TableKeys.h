#pragma once

// The keyboard of a table, as in a spreadsheet. In the editing row Tab and Shift+Tab go from field to field
// in column order (round from the last to the first), Return saves and Escape cancels wherever the focus is
// in the row. With no row in edit mode the arrows move the current cell, F2 or a typed character starts
// editing the row in that cell (the character goes in, in place of the cell's text) and Delete deletes the
// row through the same path as its trash button.

#include <QList>
#include <QObject>

#include <functional>

class QKeyEvent;
class QModelIndex;
class QTableView;

namespace quillfern::table {

class CellDelegate;
class RowEditors;

class TableKeys : public QObject {
public:
    struct Actions {
        // Puts the row of this view index into edit mode.
        std::function<void(const QModelIndex &)> beginEditing;
        // The current cell moved to this view index (optional).
        std::function<void(const QModelIndex &)> select;
        // The columns that have a field in edit mode; typing over any other cell starts nothing.
        QList<int> fieldColumns;
    };

    // Call once the view has its model.
    TableKeys(QTableView *view, CellDelegate *delegate, const RowEditors &editors, Actions actions);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool editingKey(const QKeyEvent &key);
    bool browsingKey(const QKeyEvent &key);

    QTableView *m_view;
    CellDelegate *m_delegate;
    const RowEditors &m_editors;
    Actions m_actions;
};

} // namespace quillfern::table

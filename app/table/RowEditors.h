#pragma once

// The editing row of a table: its cells become persistent editors while it is in edit mode, fresh each
// time a row enters it, and the rest of the table stays painted by the delegate alone.

#include <QList>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class QAbstractItemDelegate;
class QTableView;

namespace quillfern::table {

class RowEditors {
public:
    explicit RowEditors(QTableView *view) : m_view(view) {}

    // Puts editors on the given columns of row for the row with this id, closing those of the row edited
    // before; nothing happens while the same row stays in edit mode. The focus goes to focusColumn.
    void show(const std::optional<QString> &rowID, int row, const QList<int> &columns, int focusColumn);
    // The view dropped every editor with its rows.
    void forget();
    // Reads the model into every open editor again.
    void refresh(QAbstractItemDelegate *delegate) const;
    // Whether the row may be saved: every number field reads. Otherwise the first refused field takes the
    // focus, still marked, and nothing is saved.
    bool acceptsSave() const;
    const std::optional<QString> &rowID() const { return m_rowID; }
    // Moves the focus from the field holding from to the next (or previous) one in column order, round
    // from the last to the first; with from outside the row, to the first (or last).
    void step(QWidget *from, bool forward) const;
    // Focuses the field of column, as Tab would, and returns the widget that has the focus; null when
    // the column has no field.
    QWidget *focus(int column) const;

private:
    // The fields that take the focus, in the order the columns are shown.
    QList<std::pair<QModelIndex, QWidget *>> fields() const;

    QTableView *m_view;
    std::optional<QString> m_rowID;
    QList<QPersistentModelIndex> m_editors;
};

// Rounds a table's corners and outlines it, drawn over the cells; it lets every click through.
class RoundedOutline : public QWidget {
public:
    explicit RoundedOutline(QWidget *table);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace quillfern::table

#pragma once

// The order and filter between a table model and its view. Rows sort by the model's SortRole (numbers by
// value, texts by the user's collation) and a filter keeps rows where any of the chosen columns contains
// the text, ignoring case and full- or half-width forms. A row the user is editing always stays, so a
// filter never takes the row being typed into away.
//
// Everything that turns a view row into a model row goes through mapToSource / mapFromSource.

#include <QCollator>
#include <QList>
#include <QSortFilterProxyModel>

#include <functional>

class QSettings;

namespace quillfern::table {

class RowsProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit RowsProxy(QList<int> filterColumns, QObject *parent = nullptr);

    void setFilterText(const QString &text);
    const QString &filterText() const { return m_filterText; }
    bool isFiltering() const { return !m_needle.isEmpty(); }
    // Asks the filter again, after the pinned row changed.
    void refilter() { invalidateFilter(); }
    // Whether a model row stays whatever the filter says (the row being edited).
    void setPinnedRow(std::function<bool(int sourceRow)> isPinned) { m_isPinned = std::move(isPinned); }

    // The model row behind view row, or -1.
    int sourceRow(int viewRow) const;
    // The view row showing model row, or -1 when the filter hides it.
    int viewRow(int sourceRow) const;

    // The sort column and order are read from and written to settings under key, so they last across
    // restarts; -1 is no order (the model's own). A column stored before the column count was kept counts
    // from before addedColumns were added: one at or after an added column moves up past it.
    void restoreOrder(QSettings &settings, const QString &key, const QList<int> &addedColumns = {});
    void storeOrder(QSettings &settings, const QString &key) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    QList<int> m_filterColumns;
    QString m_filterText;
    QString m_needle;
    std::function<bool(int)> m_isPinned;
    QCollator m_collator;
};

} // namespace quillfern::table

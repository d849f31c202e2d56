#pragma once

// The column header of the app's tables: tinted title cells with a drag handle at each trailing edge.
// Dragging changes the column's width (never below 56) and the rows and total row follow at once.
//
// The header lays its columns out over the width it has: no column is narrower than its title, the
// columns grow towards their preferred widths and share whatever is left, and only when the titles
// alone do not fit does the table scroll sideways. A column the user dragged keeps the width it was
// given; the others make room around it.
//
// Clicking a titled column sorts by it and clicking again reverses; the sorted column shows which way.
// Untitled columns (row buttons) do not sort.

#include <QHash>
#include <QHeaderView>
#include <QList>

namespace quillfern::table {

class ResizableHeader : public QHeaderView {
    Q_OBJECT

public:
    static constexpr int indicatorSize = 10;
    // Space between a title and its section's edges (or the sort arrow): narrower than a cell's, so
    // that long titles fit at the default window size.
    static constexpr int titleInset = 4;

    explicit ResizableHeader(QWidget *parent = nullptr);

    // The width each column asks for when there is room, in logical order.
    void setPreferredWidths(QList<int> widths);
    // The narrowest a column can be with its whole title showing.
    int titleWidth(int logicalIndex) const;
    // Lays the columns out over the header's width again.
    void fitColumns();
    // Widths the user chose by dragging, by logical index.
    const QHash<int, int> &userWidths() const { return m_userWidths; }
    void setModel(QAbstractItemModel *model) override;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sizeHint() const override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QList<int> m_preferred;
    QHash<int, int> m_userWidths;
    int m_sortedSection = -1;
    Qt::SortOrder m_sortedOrder = Qt::AscendingOrder;
    bool m_fitting = false;
    bool m_dragged = false;
};

// Column widths that fill available: each column gets at least minimum[i]; while there is room they grow
// towards preferred[i], and past that the rest is shared in proportion to the preferred widths among the
// columns not marked fixed. The widths add up to available unless the minimums alone exceed it.
QList<int> fittedWidths(const QList<int> &minimum, const QList<int> &preferred, const QList<bool> &fixed,
                        int available);

} // namespace quillfern::table

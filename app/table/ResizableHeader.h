#pragma once

// The column header of the app's tables: tinted title cells with a drag handle at each trailing edge.
// Dragging changes the column's width (never below 56) and the rows and total row follow at once.

#include <QHeaderView>

namespace quillfern::table {

class ResizableHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit ResizableHeader(QWidget *parent = nullptr);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sizeHint() const override;
};

} // namespace quillfern::table

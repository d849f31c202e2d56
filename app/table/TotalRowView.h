#pragma once

// The total row under a table: cells that span one or more columns of the header, lined up with them
// however the columns are resized or scrolled sideways. It never scrolls or sorts with the rows.

#include <QColor>
#include <QPointer>
#include <QWidget>

class QHeaderView;

namespace quillfern::table {

struct TotalCell {
    int firstColumn = 0;
    int lastColumn = 0;
    QString text;
    QColor colour; // invalid: the primary text colour
    Qt::Alignment alignment = Qt::AlignRight;
    bool bordered = true;
};

class TotalRowView : public QWidget {
    Q_OBJECT

public:
    explicit TotalRowView(QHeaderView *header, QWidget *parent = nullptr);

    void setCells(QList<TotalCell> cells);
    const QList<TotalCell> &cells() const { return m_cells; }
    // Where a cell stands, in this widget's coordinates.
    QRect cellRect(const TotalCell &cell) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QHeaderView> m_header;
    QList<TotalCell> m_cells;
};

} // namespace quillfern::table

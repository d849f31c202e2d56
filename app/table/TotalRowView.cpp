#include "app/table/TotalRowView.h"

#include "app/table/CellDelegate.h"
#include "app/table/TableStyle.h"

#include <QHeaderView>
#include <QPainter>

namespace quillfern::table {

TotalRowView::TotalRowView(QHeaderView *header, QWidget *parent) : QWidget(parent), m_header(header)
{
    setFixedHeight(rowHeight);
    connect(header, &QHeaderView::sectionResized, this, qOverload<>(&QWidget::update));
    connect(header, &QHeaderView::geometriesChanged, this, qOverload<>(&QWidget::update));
    // The header's offset moves with the table's horizontal scroll bar.
    connect(header, &QHeaderView::sectionCountChanged, this, qOverload<>(&QWidget::update));
}

void TotalRowView::setCells(QList<TotalCell> cells)
{
    m_cells = std::move(cells);
    update();
}

QRect TotalRowView::cellRect(const TotalCell &cell) const
{
    if (!m_header)
        return {};
    const int left = m_header->sectionViewportPosition(cell.firstColumn);
    const int right = m_header->sectionViewportPosition(cell.lastColumn) + m_header->sectionSize(cell.lastColumn);
    // The header's viewport and this row start at the same x inside the table frame.
    const int shift = m_header->viewport()->mapTo(window(), QPoint()).x() - mapTo(window(), QPoint()).x();
    return QRect(left + shift, 0, right - left, height());
}

void TotalRowView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Base));
    painter.fillRect(rect(), withOpacity(blue(pal), 0.12));
    QFont font = this->font();
    font.setWeight(QFont::DemiBold);
    for (const TotalCell &cell : std::as_const(m_cells)) {
        const QRect area = cellRect(cell);
        paintCellText(&painter, area, cell.text, cell.colour.isValid() ? cell.colour : primaryText(pal), cell.alignment,
                      font);
        if (cell.bordered)
            paintCellFrame(&painter, area, pal);
    }
}

} // namespace quillfern::table

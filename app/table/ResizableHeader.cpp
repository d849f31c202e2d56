#include "app/table/ResizableHeader.h"

#include "app/table/CellDelegate.h"
#include "app/table/CellRoles.h"
#include "app/table/TableStyle.h"

#include <QPainter>

namespace quillfern::table {

ResizableHeader::ResizableHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(minimumColumnWidth);
    setStretchLastSection(false);
    setSectionsMovable(false);
    setSectionsClickable(false);
    setHighlightSections(false);
    setFont(headerFont());
    setFixedHeight(rowHeight);
}

QSize ResizableHeader::sizeHint() const
{
    return QSize(QHeaderView::sizeHint().width(), rowHeight);
}

void ResizableHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!model())
        return;
    const QPalette &pal = palette();
    painter->fillRect(rect, pal.color(QPalette::Base));
    const QVariant tint = model()->headerData(logicalIndex, orientation(), HeaderTintRole);
    if (tint.isValid())
        painter->fillRect(rect, tint.value<QColor>());
    const QString title = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    const auto alignment =
        Qt::Alignment(model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole).toInt()) &
        Qt::AlignHorizontal_Mask;
    paintCellText(painter, rect, title, primaryText(pal), alignment, headerFont());
    paintCellFrame(painter, rect, pal);
    // The handle: 2 wide, 1 in from the trailing edge, 5 short of top and bottom.
    painter->fillRect(QRectF(rect.right() - 2.0, rect.top() + 5.0, 2.0, rect.height() - 10.0),
                      withOpacity(separator(pal), 0.8 / separator(pal).alphaF() > 1 ? 1.0 : 0.8));
}

} // namespace quillfern::table

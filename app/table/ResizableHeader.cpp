#include "app/table/ResizableHeader.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/CellDelegate.h"
#include "app/table/CellRoles.h"
#include "app/table/TableStyle.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>

#include <numeric>

namespace quillfern::table {

QList<int> fittedWidths(const QList<int> &minimum, const QList<int> &preferred, const QList<bool> &fixed, int available)
{
    const qsizetype count = minimum.size();
    QList<int> widths = minimum;
    QList<int> wanted(count);
    for (qsizetype i = 0; i < count; ++i)
        wanted[i] = std::max(minimum[i], preferred.value(i));
    const int leastTotal = std::accumulate(minimum.begin(), minimum.end(), 0);
    const int wantedTotal = std::accumulate(wanted.begin(), wanted.end(), 0);
    if (available <= leastTotal || count == 0)
        return widths;

    // Shares of spare over weights, whole pixels, the rounding left-overs going one by one from the left.
    const auto share = [&widths, count](int spare, const QList<int> &weights) {
        const qint64 weightTotal = std::accumulate(weights.begin(), weights.end(), qint64(0));
        if (weightTotal <= 0 || spare <= 0)
            return;
        int given = 0;
        for (qsizetype i = 0; i < count; ++i) {
            const int part = int(qint64(spare) * weights[i] / weightTotal);
            widths[i] += part;
            given += part;
        }
        for (qsizetype i = 0; given < spare; i = (i + 1) % count) {
            if (weights[i] > 0) {
                ++widths[i];
                ++given;
            }
        }
    };
    if (available < wantedTotal) {
        QList<int> gaps(count);
        for (qsizetype i = 0; i < count; ++i)
            gaps[i] = wanted[i] - minimum[i];
        share(available - leastTotal, gaps);
        return widths;
    }
    widths = wanted;
    QList<int> weights(count);
    for (qsizetype i = 0; i < count; ++i)
        weights[i] = fixed.value(i) ? 0 : wanted[i];
    share(available - wantedTotal, weights);
    return widths;
}

ResizableHeader::ResizableHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(minimumColumnWidth);
    setStretchLastSection(false);
    setSectionsMovable(false);
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    setSortIndicator(-1, Qt::AscendingOrder);
    setHighlightSections(false);
    setFont(headerFont());
    setFixedHeight(rowHeight);
    connect(this, &QHeaderView::sectionResized, this, [this](int logicalIndex, int, int size) {
        if (m_fitting)
            return;
        m_userWidths.insert(logicalIndex, size);
        m_dragged = true;
    });
    connect(this, &QHeaderView::sectionCountChanged, this, &ResizableHeader::fitColumns);
    connect(this, &QHeaderView::sortIndicatorChanged, this, [this](int section, Qt::SortOrder order) {
        if (section >= 0 && model() && model()->headerData(section, orientation()).toString().isEmpty()) {
            setSortIndicator(m_sortedSection, m_sortedOrder);
            return;
        }
        m_sortedSection = section;
        m_sortedOrder = order;
        fitColumns();
    });
}

void ResizableHeader::setModel(QAbstractItemModel *model)
{
    if (this->model())
        disconnect(this->model(), &QAbstractItemModel::headerDataChanged, this, &ResizableHeader::fitColumns);
    QHeaderView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::headerDataChanged, this, &ResizableHeader::fitColumns);
    fitColumns();
}

void ResizableHeader::setPreferredWidths(QList<int> widths)
{
    m_preferred = std::move(widths);
    fitColumns();
}

int ResizableHeader::titleWidth(int logicalIndex) const
{
    const QString title =
        model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
    int text = title.isEmpty() ? 0 : qCeil(QFontMetricsF(headerFont()).horizontalAdvance(title)) + 1;
    if (logicalIndex == sortIndicatorSection())
        text += indicatorSize + titleInset;
    return std::max(minimumColumnWidth, text + 2 * titleInset);
}

void ResizableHeader::fitColumns()
{
    const int count = this->count();
    if (count == 0 || m_fitting)
        return;
    QList<int> minimum(count), preferred(count);
    QList<bool> fixed(count);
    for (int i = 0; i < count; ++i) {
        const auto user = m_userWidths.constFind(i);
        fixed[i] = user != m_userWidths.constEnd();
        minimum[i] = fixed[i] ? *user : titleWidth(i);
        preferred[i] = fixed[i] ? *user : m_preferred.value(i, minimum[i]);
    }
    const QList<int> widths = fittedWidths(minimum, preferred, fixed, viewport()->width());
    m_fitting = true;
    for (int i = 0; i < count; ++i) {
        if (sectionSize(i) != widths[i])
            resizeSection(i, widths[i]);
    }
    m_fitting = false;
}

QSize ResizableHeader::sizeHint() const
{
    return QSize(QHeaderView::sizeHint().width(), rowHeight);
}

void ResizableHeader::resizeEvent(QResizeEvent *event)
{
    QHeaderView::resizeEvent(event);
    fitColumns();
}

void ResizableHeader::mouseReleaseEvent(QMouseEvent *event)
{
    QHeaderView::mouseReleaseEvent(event);
    // After a drag the other columns take up or give back the difference.
    if (std::exchange(m_dragged, false))
        fitColumns();
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
    QRect titleArea = rect.adjusted(titleInset, 0, -titleInset, 0);
    if (logicalIndex == sortIndicatorSection()) {
        // The arrow sits at the trailing end, and the title keeps clear of it.
        const QRect arrow(titleArea.right() - indicatorSize + 1, rect.center().y() - indicatorSize / 2, indicatorSize,
                          indicatorSize);
        titleArea.setRight(arrow.left() - titleInset - 1);
        symbolIcon(sortIndicatorOrder() == Qt::AscendingOrder ? QStringLiteral("chevron.up")
                                                              : QStringLiteral("chevron.down"),
                   secondaryText(pal))
            .paint(painter, arrow);
    }
    // paintCellText keeps a cell's inset; the title's own is narrower.
    paintCellText(painter, titleArea.adjusted(-cellInset, 0, cellInset, 0), title, primaryText(pal), alignment,
                  headerFont());
    paintCellFrame(painter, rect, pal);
    // The handle: 2 wide, 1 in from the trailing edge, 5 short of top and bottom.
    painter->fillRect(QRectF(rect.right() - 2.0, rect.top() + 5.0, 2.0, rect.height() - 10.0),
                      withOpacity(separator(pal), 0.8 / separator(pal).alphaF() > 1 ? 1.0 : 0.8));
}

} // namespace quillfern::table

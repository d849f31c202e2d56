#include "app/table/RowEditors.h"

#include "app/table/CellEditors.h"
#include "app/table/TableStyle.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTableView>

namespace quillfern::table {

void RowEditors::show(const std::optional<QString> &rowID, int row, const QList<int> &columns, int focusColumn)
{
    if (rowID == m_rowID)
        return;
    for (const QPersistentModelIndex &index : std::as_const(m_editors)) {
        if (index.isValid())
            m_view->closePersistentEditor(index);
    }
    m_editors.clear();
    m_rowID = rowID;
    if (!rowID || row < 0)
        return;
    QAbstractItemModel *model = m_view->model();
    for (int column : columns) {
        const QModelIndex index = model->index(row, column);
        m_view->openPersistentEditor(index);
        m_editors.append(index);
    }
    m_view->scrollTo(model->index(row, focusColumn));
    if (QWidget *field = m_view->indexWidget(model->index(row, focusColumn)))
        field->setFocus(Qt::OtherFocusReason);
}

void RowEditors::forget()
{
    m_rowID.reset();
    m_editors.clear();
}

void RowEditors::refresh(QAbstractItemDelegate *delegate) const
{
    for (const QPersistentModelIndex &index : std::as_const(m_editors)) {
        if (QWidget *editor = index.isValid() ? m_view->indexWidget(index) : nullptr)
            delegate->setEditorData(editor, index);
    }
}

bool RowEditors::acceptsSave() const
{
    for (const QPersistentModelIndex &index : std::as_const(m_editors)) {
        auto *number = index.isValid() ? qobject_cast<EditingNumberCell *>(m_view->indexWidget(index)) : nullptr;
        if (number && !number->isValid()) {
            number->field()->setFocus(Qt::OtherFocusReason);
            return false;
        }
    }
    return true;
}

RoundedOutline::RoundedOutline(QWidget *table) : QWidget(table)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    table->installEventFilter(this);
    setGeometry(table->rect());
    raise();
}

bool RoundedOutline::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

void RoundedOutline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outside;
    outside.addRect(rect());
    QPainterPath inside;
    inside.addRoundedRect(box, 8, 8);
    painter.fillPath(outside.subtracted(inside), palette().color(QPalette::Window));
    QPen pen(separator(palette()));
    pen.setWidthF(1);
    painter.setPen(pen);
    painter.drawPath(inside);
}

} // namespace quillfern::table

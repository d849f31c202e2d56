#include "app/table/RowEditors.h"

#include "app/table/CellEditors.h"
#include "app/table/TableStyle.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QTableView>

#include <algorithm>

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

QList<std::pair<QModelIndex, QWidget *>> RowEditors::fields() const
{
    QList<std::pair<QModelIndex, QWidget *>> ordered;
    for (const QPersistentModelIndex &index : std::as_const(m_editors)) {
        QWidget *editor = index.isValid() ? m_view->indexWidget(index) : nullptr;
        QWidget *field = editor && editor->focusProxy() ? editor->focusProxy() : editor;
        if (field && field->isEnabled() && (field->focusPolicy() & Qt::TabFocus) &&
            !m_view->isColumnHidden(index.column()))
            ordered.append({index, field});
    }
    const QHeaderView *header = m_view->horizontalHeader();
    std::sort(ordered.begin(), ordered.end(), [header](const auto &a, const auto &b) {
        return header->visualIndex(a.first.column()) < header->visualIndex(b.first.column());
    });
    return ordered;
}

void RowEditors::step(QWidget *from, bool forward) const
{
    const auto ordered = fields();
    if (ordered.isEmpty())
        return;
    const auto holder = std::find_if(ordered.begin(), ordered.end(), [from](const auto &field) {
        return from && (field.second == from || field.second->isAncestorOf(from));
    });
    const qsizetype count = ordered.size();
    qsizetype next = forward ? 0 : count - 1;
    if (holder != ordered.end())
        next = ((holder - ordered.begin()) + (forward ? 1 : count - 1)) % count;
    m_view->scrollTo(ordered[next].first);
    ordered[next].second->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

QWidget *RowEditors::focus(int column) const
{
    for (const QPersistentModelIndex &index : std::as_const(m_editors)) {
        if (!index.isValid() || index.column() != column)
            continue;
        QWidget *editor = m_view->indexWidget(index);
        QWidget *field = editor && editor->focusProxy() ? editor->focusProxy() : editor;
        if (!field || !(field->focusPolicy() & Qt::TabFocus))
            return nullptr;
        field->setFocus(Qt::TabFocusReason);
        return field;
    }
    return nullptr;
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

#include "app/table/TableKeys.h"

#include "app/table/CellDelegate.h"
#include "app/table/RowEditors.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>

namespace quillfern::table {

namespace {

bool isTyping(const QKeyEvent &key)
{
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key.text();
    return !text.isEmpty() && text.at(0).isPrint();
}

} // namespace

TableKeys::TableKeys(QTableView *view, CellDelegate *delegate, const RowEditors &editors, Actions actions)
    : QObject(view), m_view(view), m_delegate(delegate), m_editors(editors), m_actions(std::move(actions))
{
    view->installEventFilter(this);
    // Arrows move between cells; Tab leaves the table for the next control, as it does everywhere else in
    // the window, unless a row is in edit mode and Tab moves between its fields.
    view->setTabKeyNavigation(false);
    connect(delegate, &CellDelegate::stepRequested, this,
            [this](QWidget *from, bool forward) { m_editors.step(from, forward); });
    if (m_actions.select) {
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
            // Only a move the user made: not rows going, nor a new order or filter.
            if (current.isValid() && !m_editors.rowID() && m_view->hasFocus())
                m_actions.select(current);
        });
    }
}

bool TableKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        const auto &key = *static_cast<QKeyEvent *>(event);
        const bool taken = m_editors.rowID() ? editingKey(key) : browsingKey(key);
        if (taken && event->type() == QEvent::ShortcutOverride) {
            event->accept(); // the table has a use for the key: no shortcut takes it first
            return true;
        }
        if (taken)
            return true;
    }
    return QObject::eventFilter(watched, event);
}

// The focus is on the table itself, on a cell without a field, while a row is in edit mode.
bool TableKeys::editingKey(const QKeyEvent &key)
{
    const bool press = key.type() == QEvent::KeyPress;
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (press)
            Q_EMIT m_delegate->saveRequested();
        return true;
    case Qt::Key_Escape:
        if (press)
            Q_EMIT m_delegate->cancelRequested();
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (press)
            m_editors.step(nullptr, key.key() == Qt::Key_Tab && !(key.modifiers() & Qt::ShiftModifier));
        return true;
    default:
        return false;
    }
}

bool TableKeys::browsingKey(const QKeyEvent &key)
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return false;
    const bool press = key.type() == QEvent::KeyPress;
    if (key.key() == Qt::Key_Delete && key.modifiers() == Qt::NoModifier) {
        if (press)
            Q_EMIT m_delegate->deleteRequested(current);
        return true;
    }
    const bool edit = key.key() == Qt::Key_F2 && key.modifiers() == Qt::NoModifier;
    if (!edit && !isTyping(key))
        return false;
    // Typing over a cell that has no field starts nothing.
    if (!edit && !m_actions.fieldColumns.contains(current.column()))
        return false;
    if (!press)
        return true;
    const int column = current.column();
    m_actions.beginEditing(current);
    if (!m_editors.rowID())
        return true; // the row could not enter edit mode
    QWidget *field = m_editors.focus(column);
    auto *line = qobject_cast<QLineEdit *>(field);
    if (edit && line)
        line->end(false); // F2 edits the text where it ends, typing replaces it
    if (!field || edit)
        return true;
    if (line)
        line->selectAll();
    QKeyEvent typed(QEvent::KeyPress, key.key(), key.modifiers(), key.text());
    QCoreApplication::sendEvent(field, &typed);
    return true;
}

} // namespace quillfern::table

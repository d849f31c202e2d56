#include "app/table/CellDelegate.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/CellEditors.h"
#include "app/table/CellRoles.h"
#include "app/table/TableStyle.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace quillfern::table {

namespace {

CellKind kindOf(const QModelIndex &index)
{
    return CellKind(index.data(CellKindRole).toInt());
}

QColor rowBackground(const QModelIndex &index, const QPalette &palette)
{
    switch (RowLook(index.data(RowLookRole).toInt())) {
    case RowLook::Editing:
        return withOpacity(accent(palette), 0.18);
    case RowLook::Selected:
        return withOpacity(accent(palette), 0.12);
    case RowLook::Plain:
        break;
    }
    return Qt::transparent;
}

QRect trashRect(const QRect &cell)
{
    return QRect(cell.left() + cellInset, cell.center().y() - 8, 16, 16);
}

} // namespace

void paintCellFrame(QPainter *painter, const QRect &rect, const QPalette &palette)
{
    painter->save();
    QPen pen(separator(palette));
    pen.setWidthF(0.5);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(rect).adjusted(0.25, 0.25, -0.25, -0.25));
    painter->restore();
}

void paintCellText(QPainter *painter, const QRect &rect, const QString &text, const QColor &colour,
                   Qt::Alignment alignment, const QFont &font)
{
    painter->save();
    painter->setFont(font);
    painter->setPen(colour);
    const QRect inner = rect.adjusted(cellInset, 0, -cellInset, 0);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, inner.width());
    painter->drawText(inner, int(alignment | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
    painter->restore();
}

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QPalette &palette = option.palette;
    const QRect rect = option.rect;
    painter->fillRect(rect, rowBackground(index, palette));
    const CellKind kind = kindOf(index);
    if (kind == CellKind::ReadOnly || kind == CellKind::ReadOnlyNumber)
        painter->fillRect(rect, withOpacity(textBackground(palette), 0.35));

    const auto alignment = Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt()) & Qt::AlignHorizontal_Mask;
    const QString text = index.data(Qt::DisplayRole).toString();
    switch (kind) {
    case CellKind::ReadOnly:
        if (text.isEmpty())
            paintCellText(painter, rect, QStringLiteral("-"), secondaryText(palette), alignment, option.font);
        else
            paintCellText(painter, rect, text, primaryText(palette), alignment, option.font);
        break;
    case CellKind::ReadOnlyNumber:
    case CellKind::Output: {
        const QVariant colour = index.data(Qt::ForegroundRole);
        paintCellText(painter, rect, text, colour.isValid() ? colour.value<QColor>() : primaryText(palette), alignment,
                      option.font);
        break;
    }
    case CellKind::RowActions:
        symbolIcon(QStringLiteral("trash"), red(palette)).paint(painter, trashRect(rect));
        break;
    case CellKind::Blank:
    case CellKind::EditText:
    case CellKind::EditNumber:
    case CellKind::Picker:
    case CellKind::EditRowActions:
        break; // editing cells are widgets of their own
    }
    paintCellFrame(painter, rect, palette);
    if (option.state & QStyle::State_HasFocus) {
        // The current cell, which the arrow keys move and F2 or typing edits.
        painter->save();
        painter->setPen(QPen(accent(palette), 1.5));
        painter->drawRect(QRectF(rect).adjusted(1, 1, -1, -1));
        painter->restore();
    }
}

QSize CellDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), rowHeight);
}

QWidget *CellDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *self = const_cast<CellDelegate *>(this);
    const QString field = index.data(FieldNameRole).toString();
    QWidget *editor = nullptr;
    switch (kindOf(index)) {
    case CellKind::EditText: {
        auto *cell = new EditingTextCell(field, parent);
        connect(cell, &EditingTextCell::valueEdited, self, [self, cell] { Q_EMIT self->commitData(cell); });
        editor = cell;
        break;
    }
    case CellKind::EditNumber: {
        auto *cell =
            new EditingNumberCell(field, index.data(PrecisionRole).toInt(), index.data(PrefixRole).toString(), parent);
        connect(cell, &EditingNumberCell::valueEdited, self, [self, cell] { Q_EMIT self->commitData(cell); });
        cell->field()->installEventFilter(self);
        editor = cell;
        break;
    }
    case CellKind::Picker: {
        auto *cell = new PickerCell(parent);
        connect(cell, &PickerCell::valueChosen, self, [self, cell] { Q_EMIT self->commitData(cell); });
        editor = cell;
        break;
    }
    case CellKind::EditRowActions: {
        auto *cell = new EditRowActionsCell(parent);
        connect(cell, &EditRowActionsCell::saveRequested, self, &CellDelegate::saveRequested);
        connect(cell, &EditRowActionsCell::cancelRequested, self, &CellDelegate::cancelRequested);
        editor = cell;
        break;
    }
    default:
        return nullptr; // read-only cells get no editor
    }
    editor->setAutoFillBackground(false);
    return editor;
}

void CellDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    const QVariant value = index.data(ValueRole);
    if (auto *text = qobject_cast<EditingTextCell *>(editor)) {
        text->setValue(value.toString());
    } else if (auto *number = qobject_cast<EditingNumberCell *>(editor)) {
        number->setValue(value.toDouble());
        // The symbol follows the row's market or currency the moment either changes.
        if (QLabel *prefix = number->prefixLabel())
            prefix->setText(index.data(PrefixRole).toString());
    } else if (auto *picker = qobject_cast<PickerCell *>(editor)) {
        picker->setOptions(index.data(OptionsRole).toStringList(), value.toString(),
                           index.data(OptionLabelsRole).toStringList());
    }
}

void CellDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *text = qobject_cast<EditingTextCell *>(editor))
        model->setData(index, text->text(), Qt::EditRole);
    else if (auto *number = qobject_cast<EditingNumberCell *>(editor)) {
        if (const auto typed = number->typedValue())
            model->setData(index, *typed, Qt::EditRole);
    } else if (auto *picker = qobject_cast<PickerCell *>(editor)) {
        if (picker->currentIndex() >= 0)
            model->setData(index, picker->value(), Qt::EditRole);
    }
}

void CellDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const bool inset = qobject_cast<QLineEdit *>(editor) || qobject_cast<QComboBox *>(editor);
    editor->setGeometry(inset ? option.rect.adjusted(editorInset, 3, -editorInset, -3) : option.rect);
}

bool CellDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                               const QModelIndex &index)
{
    if (kindOf(index) == CellKind::RowActions && event->type() == QEvent::MouseButtonRelease) {
        const auto *click = static_cast<QMouseEvent *>(event);
        if (click->button() == Qt::LeftButton &&
            trashRect(option.rect).adjusted(-4, -4, 4, 4).contains(click->position().toPoint())) {
            Q_EMIT deleteRequested(index);
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

bool CellDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // The field's own submit (its trace line) comes first, then the row is saved.
            if (auto *line = qobject_cast<QLineEdit *>(watched))
                Q_EMIT line->returnPressed();
            Q_EMIT saveRequested();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            Q_EMIT cancelRequested();
            return true;
        }
        // The row keeps its fields open: Tab goes to the next field, never to the next item to edit.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
            Q_EMIT stepRequested(qobject_cast<QWidget *>(watched), forward);
            return true;
        }
    }
    if (qobject_cast<QLineEdit *>(watched) && watched->parent() && qobject_cast<EditingNumberCell *>(watched->parent()))
        return false; // the inner field of a number cell: nothing else to filter
    return QStyledItemDelegate::eventFilter(watched, event);
}

} // namespace quillfern::table

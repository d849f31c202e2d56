#pragma once

// Draws every cell of a table from the model's cell roles, and gives the editing row its fields. Plain
// rows need no widgets at all, so long tables stay cheap to scroll.

#include <QStyledItemDelegate>

namespace quillfern::table {

class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

Q_SIGNALS:
    // Return or Escape inside an editing row, or its save and cancel buttons.
    void saveRequested();
    void cancelRequested();
    // The delete button of a row.
    void deleteRequested(const QModelIndex &index);
    // Tab (forward) or Shift+Tab inside a field of the editing row, from the widget that had the key.
    void stepRequested(QWidget *from, bool forward);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The cell's rectangle and look, shared with total rows and headers that draw cells of their own.
void paintCellFrame(QPainter *painter, const QRect &rect, const QPalette &palette);
void paintCellText(QPainter *painter, const QRect &rect, const QString &text, const QColor &colour,
                   Qt::Alignment alignment, const QFont &font);

} // namespace quillfern::table

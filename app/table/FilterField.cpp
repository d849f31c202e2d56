#include "app/table/FilterField.h"

#include <QKeyEvent>
#include <QShortcut>

namespace quillfern::table {

FilterField::FilterField(QWidget *parent) : QLineEdit(parent)
{
    setObjectName(QStringLiteral("tableFilter"));
    setClearButtonEnabled(true);
    setMinimumWidth(260);
    // A shortcut of a hidden widget never fires, so each page's field answers only while its page shows.
    auto *find = new QShortcut(QKeySequence(QKeySequence::Find), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        setFocus(Qt::ShortcutFocusReason);
        selectAll();
    });
}

void FilterField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace quillfern::table

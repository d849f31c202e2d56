#pragma once

// The search field above a table: what is typed filters the rows, Escape empties it, and the
// window's Find shortcut (Ctrl+F) puts the cursor in it while its page shows.

#include <QLineEdit>

namespace quillfern::table {

class FilterField : public QLineEdit {
    Q_OBJECT

public:
    explicit FilterField(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace quillfern::table

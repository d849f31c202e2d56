#pragma once

#include <QToolButton>

namespace quillfern::table {

// The green "add a row" button placed above a table.
class AddTableButton : public QToolButton {
    Q_OBJECT

public:
    explicit AddTableButton(const QString &title, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    QSize sizeHint() const override;
};

} // namespace quillfern::table

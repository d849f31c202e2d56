#pragma once

// Small pieces the table toolbars share: a status text in the secondary colour, and the "saving"
// indicator shown while a portfolio save runs.

#include <QFont>
#include <QWidget>

class QLabel;

namespace quillfern::table {

QLabel *statusLabel(QWidget *parent, QFont::Weight weight = QFont::Normal);

class SavingIndicator : public QWidget {
    Q_OBJECT

public:
    explicit SavingIndicator(QWidget *parent = nullptr);
    QLabel *label() const { return m_label; }

private:
    QLabel *m_label;
};

} // namespace quillfern::table

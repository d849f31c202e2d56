#include "app/table/ToolbarPieces.h"

#include "app/table/TableStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace quillfern::table {

QLabel *statusLabel(QWidget *parent, QFont::Weight weight)
{
    auto *label = new QLabel(parent);
    label->setFont(uiFont(12, weight));
    QPalette secondary = label->palette();
    secondary.setColor(QPalette::WindowText, secondaryText(secondary));
    label->setPalette(secondary);
    return label;
}

SavingIndicator::SavingIndicator(QWidget *parent) : QWidget(parent), m_label(statusLabel(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto *spinner = new QProgressBar(this);
    spinner->setRange(0, 0); // busy, no amount
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 8);
    row->addWidget(spinner);
    row->addWidget(m_label);
}

} // namespace quillfern::table

#include "app/transactions/TransactionView.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionLedgerModel.h"
#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// Colours the type column: buys green, everything else red.
class LedgerColours : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    void setPalette(const QPalette &palette)
    {
        m_palette = palette;
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::ForegroundRole)
            return QIdentityProxyModel::data(index, role);
        switch (LedgerTone(QIdentityProxyModel::data(index, TransactionLedgerModel::ToneRole).toInt())) {
        case LedgerTone::Buy:
            return table::green(m_palette);
        case LedgerTone::Sell:
            return table::red(m_palette);
        case LedgerTone::Primary:
            break;
        }
        return {};
    }

private:
    QPalette m_palette;
};

} // namespace

QString TransactionPage::countText(qsizetype count, const QString &languageCode)
{
    return AppText::format(u"transactionCount", languageCode, {qint64(count)});
}

TransactionPage::TransactionPage(Workspace &workspace, QWidget *parent)
    : QWidget(parent), m_workspace(workspace), m_model(new TransactionLedgerModel(this))
{
    setObjectName(QStringLiteral("transactionPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    m_add = new QPushButton(this);
    m_add->setObjectName(QStringLiteral("addTransactionButton"));
    m_add->setIcon(symbolIcon(QStringLiteral("plus"), Qt::white));
    header->addWidget(m_add);
    m_count = new QLabel(this);
    m_count->setFont(table::uiFont(12));
    header->addWidget(m_count);
    header->addStretch(1);
    layout->addLayout(header);

    auto *colours = new LedgerColours(this);
    colours->setSourceModel(m_model);
    colours->setPalette(palette());
    m_view = new QTableView(this);
    m_view->setModel(colours);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(table::rowHeight);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->setAlternatingRowColors(true);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->horizontalHeader()->setMinimumSectionSize(0);
    m_view->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < TransactionLedgerModel::ColumnCount; ++column)
        m_view->horizontalHeader()->resizeSection(column, int(TransactionLedgerModel::columnWidth(column).ideal));
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) { keepMinimumWidth(column, size); });
    layout->addWidget(m_view, 1);

    connect(m_add, &QPushButton::clicked, this, &TransactionPage::openEditor);
    connect(&workspace, &Workspace::transactionsChanged, this, &TransactionPage::refresh);
    connect(&workspace, &Workspace::preferencesChanged, this, &TransactionPage::refresh);
    connect(&workspace, &Workspace::referenceDataChanged, this, &TransactionPage::refresh);
    refresh();
    applyPalette();
}

void TransactionPage::refresh()
{
    const LanguageOption language = m_workspace.selectedLanguage();
    m_add->setText(AppText::value(u"addTransaction", language.code));
    m_model->setLanguage(language.code, language.locale);
    if (m_model->transactions() != m_workspace.transactions())
        m_model->setTransactions(m_workspace.transactions());
    m_count->setText(countText(m_workspace.transactions().size(), language.code));
}

void TransactionPage::openEditor()
{
    if (m_sheet)
        return;
    m_sheet = new TransactionEditorSheet(TransactionEditor::referenceDataOf(m_workspace),
                                         TransactionEditor::saveTo(m_workspace), this);
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_sheet, &QDialog::finished, this, [this] { Q_EMIT addingTransactionChanged(false); });
    m_sheet->open();
    Q_EMIT addingTransactionChanged(true);
}

void TransactionPage::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
    QWidget::changeEvent(event);
}

void TransactionPage::applyPalette()
{
    {
        const QPalette &pal = palette();
        QPalette secondary = m_count->palette();
        secondary.setColor(QPalette::WindowText, table::secondaryText(pal));
        m_count->setPalette(secondary);
        // The prominent button: green, with white text and symbol.
        const QColor green = table::green(pal);
        m_add->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; border: 1px solid %2;"
                                            " border-radius: 6px; padding: 5px 12px; font-weight: 600; }"
                                            "QPushButton:pressed { background-color: %2; }"
                                            "QPushButton:focus { border: 2px solid %3; padding: 4px 11px; }")
                                 .arg(green.name(), green.darker(125).name(), pal.color(QPalette::Highlight).name()));
        if (auto *colours = dynamic_cast<LedgerColours *>(m_view->model()))
            colours->setPalette(pal);
    }
}

void TransactionPage::keepMinimumWidth(int column, int size)
{
    const int minimum = int(TransactionLedgerModel::columnWidth(column).minimum);
    if (size < minimum)
        m_view->horizontalHeader()->resizeSection(column, minimum);
}

} // namespace quillfern

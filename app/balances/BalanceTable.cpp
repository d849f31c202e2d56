#include "app/balances/BalanceTable.h"

#include "app/balances/BalanceEditor.h"
#include "app/balances/BalanceTableModel.h"
#include "app/table/CellDelegate.h"
#include "app/table/ResizableHeader.h"
#include "app/table/RowEditors.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableKeys.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// The cells of the editing row that are fields, the row's buttons last.
const QList<int> editingColumns{BalanceTableModel::BrokerColumn, BalanceTableModel::CurrencyColumn,
                                BalanceTableModel::OriginalCashColumn, BalanceTableModel::ActionsColumn};

} // namespace

BalanceTable::BalanceTable(BalanceEditor &editor, QWidget *parent)
    : QFrame(parent), m_editor(editor), m_model(new BalanceTableModel(editor, this)),
      m_proxy(new table::RowsProxy({BalanceTableModel::BrokerColumn, BalanceTableModel::CurrencyColumn}, this)),
      m_view(new QTableView(this)), m_header(new table::ResizableHeader(m_view)),
      m_delegate(new table::CellDelegate(this)), m_total(new table::TotalRowView(m_header, this)),
      m_outline(new table::RoundedOutline(this)), m_rowEditors(m_view)
{
    m_model->setPalette(palette());
    m_view->setHorizontalHeader(m_header);
    m_proxy->setSourceModel(m_model);
    m_proxy->setPinnedRow([this](int row) { return m_editor.editingCashRowID() == m_model->idAt(row); });
    m_view->setModel(m_proxy);
    m_view->setItemDelegate(m_delegate);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(table::rowHeight);
    m_view->setShowGrid(false);
    m_view->setSelectionMode(QAbstractItemView::NoSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The page scrolls up and down; the table is always as tall as its rows.
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setWordWrap(false);
    const BalanceColumnWidths defaults;
    QList<int> preferred;
    for (int column = 0; column < BalanceTableModel::ColumnCount; ++column)
        preferred.append(int(BalanceTableModel::columnWidth(defaults, column)));
    m_header->setPreferredWidths(preferred);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_total);

    connect(m_header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (!m_header->userWidths().contains(column))
            return; // laid out to fit, not chosen
        BalanceColumnWidths widths = m_editor.balanceWidths();
        BalanceTableModel::columnWidth(widths, column) = size;
        m_editor.setBalanceWidths(widths);
    });
    connect(m_view->horizontalScrollBar(), &QScrollBar::valueChanged, m_total, qOverload<>(&QWidget::update));
    // The scroll bar comes and goes with the columns' fit, and the table's height with it.
    connect(m_view->horizontalScrollBar(), &QScrollBar::rangeChanged, this, &BalanceTable::fitHeight);
    connect(m_header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        m_proxy->sort(column, order);
        if (m_orderSettings)
            m_proxy->storeOrder(*m_orderSettings, QStringLiteral("balanceTable"));
    });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_proxy, signal, this, &BalanceTable::fitHeight);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &BalanceTable::fitHeight);
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const int row = m_proxy->sourceRow(index.row());
        const QString id = m_model->idAt(row);
        if (!id.isEmpty() && m_editor.editingCashRowID() != id && readyToLeaveRow())
            m_editor.beginCashEditing(m_model->rows()[row]);
    });
    connect(m_delegate, &table::CellDelegate::saveRequested, this, [this] {
        if (m_rowEditors.acceptsSave())
            m_editor.saveCashRow();
    });
    connect(m_delegate, &table::CellDelegate::cancelRequested, &m_editor, &BalanceEditor::cancelCashEditing);
    connect(m_delegate, &table::CellDelegate::deleteRequested, this, [this](const QModelIndex &index) {
        const QString id = m_model->idAt(m_proxy->mapToSource(index).row());
        if (!id.isEmpty())
            m_editor.deleteCashRow(id);
    });
    new table::TableKeys(m_view, m_delegate, m_rowEditors,
                         {.beginEditing =
                              [this](const QModelIndex &index) {
                                  const int row = m_proxy->sourceRow(index.row());
                                  if (!m_model->idAt(row).isEmpty())
                                      m_editor.beginCashEditing(m_model->rows()[row]);
                              },
                          .select = {},
                          .fieldColumns = editingColumns});
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_rowEditors.forget(); // the view dropped every editor with the rows
        syncEditors();
        fitHeight();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, &BalanceTable::refreshEditors);
    connect(&m_editor, &BalanceEditor::editingChanged, this, &BalanceTable::refresh);
    updateTotals();
    fitHeight();
}

bool BalanceTable::readyToLeaveRow() const
{
    return !m_editor.editingCashRowID() || m_rowEditors.acceptsSave();
}

void BalanceTable::keepOrderIn(QSettings &settings)
{
    m_orderSettings = &settings;
    const QSignalBlocker quiet(m_header);
    m_proxy->restoreOrder(settings, QStringLiteral("balanceTable"));
    m_header->setSortIndicator(m_proxy->sortColumn(), m_proxy->sortOrder());
    m_header->fitColumns();
}

void BalanceTable::refresh()
{
    m_model->refresh();
    if (m_proxy->isFiltering())
        m_proxy->refilter(); // the row entering or leaving edit mode is pinned or let go
    syncEditors();
    updateTotals();
}

void BalanceTable::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) {
        m_model->setPalette(palette());
        updateTotals();
    }
    QFrame::changeEvent(event);
}

void BalanceTable::syncEditors()
{
    const auto &editing = m_editor.editingCashRowID();
    m_rowEditors.show(editing, editing ? m_proxy->viewRow(m_model->rowOf(*editing)) : -1, editingColumns,
                      BalanceTableModel::OriginalCashColumn);
}

void BalanceTable::refreshEditors()
{
    m_rowEditors.refresh(m_delegate);
}

void BalanceTable::updateTotals()
{
    const BalanceFigures &figures = m_model->figures();
    const BalanceInputs &inputs = m_model->inputs();
    const CurrencyOption &currency = inputs.reportingCurrency;
    const QPalette &pal = palette();
    using Model = BalanceTableModel;
    m_total->setCells({
        {Model::BrokerColumn, Model::OriginalCashColumn, AppText::value(u"total", inputs.language.code), QColor(),
         Qt::AlignRight, false},
        {Model::CashValueColumn, Model::CashValueColumn, format(currency, figures.cashValueUSD, false),
         table::green(pal)},
        {Model::HoldingsValueColumn, Model::HoldingsValueColumn, format(currency, figures.holdingValueUSD, false),
         QColor()},
        {Model::InvestedWeightColumn, Model::InvestedWeightColumn,
         ratioPercent(figures.holdingValueUSD, figures.totalAssetUSD()), QColor()},
        {Model::AccountValueColumn, Model::AccountValueColumn, format(currency, figures.totalAssetUSD(), false),
         table::blue(pal)},
        {Model::ActionsColumn, Model::ActionsColumn, QString(), QColor(), Qt::AlignHCenter, false},
    });
}

void BalanceTable::fitHeight()
{
    m_total->setFixedHeight(table::rowHeight);
    const int rows = m_proxy->rowCount() * table::rowHeight;
    const int header = static_cast<QHeaderView *>(m_header)->sizeHint().height();
    const QScrollBar *bar = m_view->horizontalScrollBar();
    const int scrollBar = bar->maximum() > bar->minimum() ? bar->sizeHint().height() : 0;
    setFixedHeight(header + rows + scrollBar + table::rowHeight + 2);
}

} // namespace quillfern

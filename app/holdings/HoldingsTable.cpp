#include "app/holdings/HoldingsTable.h"

#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTableModel.h"
#include "app/table/CellDelegate.h"
#include "app/table/CellEditors.h"
#include "app/table/ResizableHeader.h"
#include "app/table/RowEditors.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableKeys.h"
#include "app/table/TableStyle.h"
#include "app/table/TotalRowView.h"
#include "app/workspace/Workspace.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// The cells of the editing row that are fields, the row's buttons last.
const QList<int> editingColumns{BrokerColumn, MarketColumn,       SectorColumn,   SubSectorColumn,
                                CodeColumn,   AveragePriceColumn, QuantityColumn, ActionsColumn};

} // namespace

HoldingsTable::HoldingsTable(Workspace &workspace, HoldingsEditor &editor, QWidget *parent)
    : QFrame(parent), m_workspace(workspace), m_editor(editor), m_model(new HoldingsTableModel(editor, this)),
      m_proxy(new table::RowsProxy({CodeColumn, BrokerColumn, SectorColumn, SubSectorColumn, MarketColumn}, this)),
      m_view(new QTableView(this)), m_header(new table::ResizableHeader(m_view)),
      m_delegate(new table::CellDelegate(this)), m_total(new table::TotalRowView(m_header, this)),
      m_outline(new table::RoundedOutline(this)), m_rowEditors(m_view)
{
    m_model->setPalette(palette());
    m_view->setHorizontalHeader(m_header);
    // Row sizing is fixed before the model arrives, so hundreds of rows are laid out once, not twice.
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(table::rowHeight);
    m_proxy->setSourceModel(m_model);
    m_proxy->setPinnedRow([this](int row) { return m_editor.editingRowID() == m_model->idAt(row); });
    m_view->setModel(m_proxy);
    m_view->setItemDelegate(m_delegate);
    m_view->setShowGrid(false);
    m_view->setSelectionMode(QAbstractItemView::NoSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setWordWrap(false);
    m_view->setMouseTracking(true);
    QList<int> preferred;
    for (int column = 0; column < AssetColumnCount; ++column)
        preferred.append(int(columnWidth(m_widths, AssetColumn(column))));
    m_header->setPreferredWidths(preferred);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_total);

    connect(m_header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (m_header->userWidths().contains(column))
            columnWidth(m_widths, AssetColumn(column)) = size;
    });
    connect(m_header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        m_proxy->sort(column, order);
        if (m_orderSettings)
            m_proxy->storeOrder(*m_orderSettings, QStringLiteral("holdingsTable"));
    });
    connect(m_view->horizontalScrollBar(), &QScrollBar::valueChanged, m_total, qOverload<>(&QWidget::update));
    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex &index) {
        const QString id = m_model->idAt(m_proxy->sourceRow(index.row()));
        if (!id.isEmpty() && m_editor.editingRowID() != id)
            m_editor.selectRow(id);
    });
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const int row = m_proxy->sourceRow(index.row());
        const QString id = m_model->idAt(row);
        if (!id.isEmpty() && m_editor.editingRowID() != id && readyToLeaveRow())
            m_editor.beginEditing(m_workspace.rows()[row]);
    });
    connect(m_delegate, &table::CellDelegate::saveRequested, this, [this] {
        if (m_editor.editingRowID() && m_rowEditors.acceptsSave())
            m_editor.saveEditingRow();
    });
    connect(m_delegate, &table::CellDelegate::cancelRequested, this, [this] {
        if (m_editor.editingRowID())
            m_editor.cancelEditing();
    });
    connect(m_delegate, &table::CellDelegate::deleteRequested, this, [this](const QModelIndex &index) {
        const QString id = m_model->idAt(m_proxy->mapToSource(index).row());
        if (!id.isEmpty())
            m_editor.deleteRow(id);
    });
    new table::TableKeys(m_view, m_delegate, m_rowEditors,
                         {.beginEditing =
                              [this](const QModelIndex &index) {
                                  const int row = m_proxy->sourceRow(index.row());
                                  if (!m_model->idAt(row).isEmpty())
                                      m_editor.beginEditing(m_workspace.rows()[row]);
                              },
                          .select =
                              [this](const QModelIndex &index) {
                                  const QString id = m_model->idAt(m_proxy->sourceRow(index.row()));
                                  if (!id.isEmpty() && m_editor.selectedRowID() != id)
                                      m_editor.selectRow(id);
                              },
                          .fieldColumns = editingColumns});

    connect(&editor, &HoldingsEditor::editingChanged, this, [this] {
        if (m_proxy->isFiltering())
            m_proxy->refilter(); // the row entering or leaving edit mode is pinned or let go
        syncEditors();
        showRowError();
    });
    connect(&workspace, &Workspace::rowsReset, this, [this] {
        m_rowEditors.forget(); // the view dropped every editor with the rows
        syncEditors();
    });
    connect(&workspace, &Workspace::rowChanged, this, [this](int row) {
        if (m_editor.editingRowID() == m_model->idAt(row))
            refreshEditors();
    });
    connect(&workspace, &Workspace::summaryChanged, this, &HoldingsTable::updateTotals);
    connect(&workspace, &Workspace::preferencesChanged, this, &HoldingsTable::updateTotals);
    connect(&workspace, &Workspace::referenceDataChanged, this, &HoldingsTable::refreshEditors);
    updateTotals();
    syncEditors();
}

bool HoldingsTable::readyToLeaveRow() const
{
    return !m_editor.editingRowID() || m_rowEditors.acceptsSave();
}

void HoldingsTable::keepOrderIn(QSettings &settings)
{
    m_orderSettings = &settings;
    const QSignalBlocker quiet(m_header);
    // Orders stored before the day's change had a column count it from before that column.
    m_proxy->restoreOrder(settings, QStringLiteral("holdingsTable"), {DayChangeUSDColumn});
    m_header->setSortIndicator(m_proxy->sortColumn(), m_proxy->sortOrder());
    m_header->fitColumns();
}

void HoldingsTable::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) {
        m_model->setPalette(palette());
        updateTotals();
    }
    QFrame::changeEvent(event);
}

void HoldingsTable::syncEditors()
{
    const auto &editing = m_editor.editingRowID();
    m_rowEditors.show(editing, editing ? m_proxy->viewRow(m_model->rowOf(*editing)) : -1, editingColumns, CodeColumn);
}

void HoldingsTable::refreshEditors()
{
    m_rowEditors.refresh(m_delegate);
}

void HoldingsTable::updateTotals()
{
    const PortfolioSummary &summary = m_workspace.summary();
    const CurrencyOption currency = m_workspace.reportingCurrency();
    const QPalette &pal = palette();
    const auto dayChange = m_workspace.totalDayChangeUsd();
    m_total->setCells({
        {BrokerColumn, HoldPercentColumn, AppText::value(u"total", m_workspace.selectedLanguage().code), QColor(),
         Qt::AlignRight, false},
        {ValueUSDColumn, ValueUSDColumn, format(currency, summary.totalMarketValueUsd, false), table::green(pal)},
        {DayChangeUSDColumn, DayChangeUSDColumn, dayChange ? format(currency, *dayChange, true) : QString(),
         dayChange && *dayChange < 0 ? table::red(pal) : table::green(pal)},
        {NetUSDColumn, NetUSDColumn, format(currency, summary.totalNetUsd, true),
         summary.totalNetUsd < 0 ? table::red(pal) : table::green(pal)},
        {CostUSDColumn, CostUSDColumn, format(currency, summary.totalBoughtCostUsd, false), QColor()},
        {ActionsColumn, ActionsColumn, QString(), QColor(), Qt::AlignHCenter, false},
    });
}

void HoldingsTable::showRowError()
{
    const auto &error = m_editor.rowEditError();
    if (!error) {
        if (m_alert)
            m_alert->close();
        return;
    }
    if (m_alert) {
        m_alert->setText(*error);
        return;
    }
    m_alert = new QMessageBox(QMessageBox::Warning,
                              AppText::value(u"unableToSaveRow", m_workspace.selectedLanguage().code), *error,
                              QMessageBox::NoButton, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own button, in the language Qt's texts follow; the only button, so Escape takes it too.
    m_alert->setStandardButtons(QMessageBox::Ok);
    connect(m_alert, &QMessageBox::finished, this, [this] { m_editor.dismissRowEditError(); });
    m_alert->open();
}

} // namespace quillfern

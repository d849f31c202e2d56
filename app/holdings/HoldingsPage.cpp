#include "app/holdings/HoldingsPage.h"

#include "app/charts/HoldingStatsView.h"
#include "app/charts/StatsCollapseButton.h"
#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsTable.h"
#include "app/icons/SymbolIcon.h"
#include "app/table/AddTableButton.h"
#include "app/table/FilterField.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableStyle.h"
#include "app/table/ToolbarPieces.h"
#include "app/workspace/Workspace.h"
#include "text/Dates.h"
#include "text/Localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillfern {

HoldingsPage::HoldingsPage(Workspace &workspace, QWidget *parent)
    : QWidget(parent), m_workspace(workspace), m_editor(new HoldingsEditor(workspace, workspace.undoStack(), this)),
      m_stats(new HoldingStatsView(workspace, this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(18);
    layout->addWidget(m_stats);
    layout->addWidget(holdingStatsButton(workspace, this));
    layout->addWidget(buildToolbar());
    // Made after the toolbar, so that Tab goes down the page as it reads: the toolbar and its filter, then
    // the table they act on.
    m_table = new HoldingsTable(workspace, *m_editor, this);
    layout->addWidget(m_table, 1);
    m_table->keepOrderIn(workspace.preferences());

    connect(m_editor, &HoldingsEditor::editingChanged, this, &HoldingsPage::showState);
    // Prices are not fetched into a row while it is being edited.
    connect(m_editor, &HoldingsEditor::editingChanged, this,
            [this] { m_workspace.priceRefresher().setHeld(m_editor->editingRowID().has_value()); });
    connect(&workspace, &Workspace::rowEditStatusChanged, this, &HoldingsPage::showState);
    connect(&workspace.priceRefresher(), &PriceRefresher::changed, this, &HoldingsPage::showState);
    connect(&workspace, &Workspace::syncStateChanged, this, &HoldingsPage::showState);
    // The line on the prices follows every row written, the prices fetched included.
    connect(&workspace, &Workspace::summaryChanged, this, &HoldingsPage::showState);
    connect(&workspace, &Workspace::preferencesChanged, this, &HoldingsPage::retranslate);
    retranslate();
}

HoldingsPage::~HoldingsPage()
{
    m_workspace.priceRefresher().setHeld(false);
}

QWidget *HoldingsPage::buildToolbar()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("assetTableToolbar"));
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    m_addRow = new table::AddTableButton(QString(), bar);
    connect(m_addRow, &QToolButton::clicked, this, [this] {
        if (m_table->readyToLeaveRow())
            m_editor->addRow();
    });
    row->addWidget(m_addRow);

    m_addBrokerage = new QToolButton(bar);
    m_addBrokerage->setIcon(symbolIcon(QStringLiteral("building.columns.badge.plus")));
    m_addBrokerage->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_addBrokerage, &QToolButton::clicked, this, &HoldingsPage::addBrokerageRequested);
    row->addWidget(m_addBrokerage);

    m_refresh = new QToolButton(bar);
    m_refresh->setIcon(symbolIcon(QStringLiteral("arrow.clockwise")));
    m_refresh->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_refresh, &QToolButton::clicked, this, [this] { m_workspace.priceRefresher().refreshAll(); });
    row->addWidget(m_refresh);

    m_priceStatus = table::statusLabel(bar, QFont::Normal);
    row->addWidget(m_priceStatus);
    m_rowStatus = table::statusLabel(bar, QFont::Medium);
    row->addWidget(m_rowStatus);
    // After a delete the status line offers its undo, for the mouse and the keyboard alike.
    m_undoOffer = new QToolButton(bar);
    m_undoOffer->setObjectName(QStringLiteral("rowStatusUndo"));
    m_undoOffer->setAutoRaise(true);
    m_undoOffer->setFocusPolicy(Qt::StrongFocus);
    m_undoOffer->setCursor(Qt::PointingHandCursor);
    connect(m_undoOffer, &QToolButton::clicked, this, [this] { m_workspace.undoStack().undo(); });
    row->addWidget(m_undoOffer);
    row->addStretch(1);

    m_filterNote = table::statusLabel(bar, QFont::Normal);
    m_filterNote->setObjectName(QStringLiteral("filterNote"));
    m_filterNote->hide();
    row->addWidget(m_filterNote);
    m_filter = new table::FilterField(bar);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_table->proxy()->setFilterText(text);
        m_filterNote->setVisible(m_table->proxy()->isFiltering());
    });
    row->addWidget(m_filter);

    auto *saving = new table::SavingIndicator(bar);
    m_saving = saving;
    m_savingText = saving->label();
    row->addWidget(m_saving);
    return bar;
}

void HoldingsPage::retranslate()
{
    const QString language = m_workspace.selectedLanguage().code;
    m_addRow->setText(AppText::value(u"addAssetRecord", language));
    m_addBrokerage->setText(AppText::value(u"addBrokerage", language));
    m_addBrokerage->setToolTip(m_addBrokerage->text());
    m_savingText->setText(AppText::value(u"saving", language));
    m_filter->setPlaceholderText(AppText::value(u"filterHoldings", language));
    m_filterNote->setText(AppText::value(u"totalsCoverAllRows", language));
    m_undoOffer->setText(AppText::value(u"undo", language));
    showState();
}

void HoldingsPage::showState()
{
    const PriceRefresher &prices = m_workspace.priceRefresher();
    const LanguageOption language = m_workspace.selectedLanguage();
    const bool refreshing = prices.isRefreshing();
    m_refresh->setText(AppText::value(refreshing ? u"refreshingPrices" : u"refreshPrices", language.code));
    m_refresh->setEnabled(!refreshing);
    // What the shown prices are worth, unless a run or a failure has something to say.
    const QString summary =
        prices.statusNeedsAttention()
            ? QString()
            : pricesSummaryText(prices.facts(), m_workspace.rows(), language.code, language.locale, systemTimeZoneID());
    m_priceStatus->setText(summary.isEmpty() ? prices.status() : summary);
    const bool offersUndo = m_editor->offersUndo();
    m_rowStatus->setText(m_workspace.rowEditStatus() + (offersUndo ? QStringLiteral(" \u00B7") : QString()));
    m_undoOffer->setVisible(offersUndo);
    m_saving->setVisible(m_workspace.isSavingPortfolio());
}

} // namespace quillfern

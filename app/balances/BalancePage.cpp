#include "app/balances/BalancePage.h"

#include "app/balances/BalanceEditor.h"
#include "app/balances/BalanceTable.h"
#include "app/charts/AllocationPanel.h"
#include "app/charts/MetricCard.h"
#include "app/charts/StatsCollapseButton.h"
#include "app/table/AddTableButton.h"
#include "app/table/FilterField.h"
#include "app/table/RowsProxy.h"
#include "app/table/TableStyle.h"
#include "app/table/ToolbarPieces.h"
#include "app/workspace/Workspace.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>

namespace quillfern {

BalancePage::BalancePage(Workspace &workspace, QWidget *parent)
    : QScrollArea(parent), m_workspace(workspace),
      m_editor(new BalanceEditor(BalanceEditor::bindingFor(workspace), this))
{
    setObjectName(QStringLiteral("balancePage"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // The three panels need about 1,350 points side by side; a narrower window scrolls instead of clipping.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(18);
    layout->addWidget(buildStatistics(content));

    m_collapse = new StatsCollapseButton(content);
    m_collapse->bind([this] { return m_editor->isBalanceStatsExpanded(); },
                     [this](bool expanded) { m_editor->setBalanceStatsExpanded(expanded); });
    layout->addWidget(m_collapse, 0, Qt::AlignLeft);

    layout->addWidget(buildToolbar(content));
    m_table = new BalanceTable(*m_editor, content);
    layout->addWidget(m_table);
    m_table->keepOrderIn(workspace.preferences());
    layout->addStretch(1);
    setWidget(content);

    connect(m_editor, &BalanceEditor::balanceStatsExpandedChanged, this, [this] {
        m_collapse->refresh();
        revealAnimated(m_stats, m_editor->isBalanceStatsExpanded());
    });
    connect(m_editor, &BalanceEditor::balanceEditErrorChanged, this, &BalancePage::showAlert);
    connect(&workspace, &Workspace::cashRowsChanged, m_editor, &BalanceEditor::cashRowsDidChange);
    using Signal = void (Workspace::*)();
    for (Signal signal : std::initializer_list<Signal>{&Workspace::cashRowsChanged, &Workspace::summaryChanged,
                                                       &Workspace::referenceDataChanged, &Workspace::preferencesChanged,
                                                       &Workspace::syncStateChanged})
        connect(&workspace, signal, this, &BalancePage::refresh);
    refresh();
}

QWidget *BalancePage::buildStatistics(QWidget *parent)
{
    m_stats = new QWidget(parent);
    auto *column = new QVBoxLayout(m_stats);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);

    auto *strip = new QHBoxLayout;
    strip->setSpacing(12);
    for (int i = 0; i < 4; ++i) {
        m_cards.append(new MetricCard(m_stats));
        strip->addWidget(m_cards.last(), 1);
    }
    column->addLayout(strip);

    auto *panels = new QHBoxLayout;
    panels->setSpacing(16);
    for (int i = 0; i < 3; ++i) {
        m_panels.append(new AllocationPanel(m_stats));
        panels->addWidget(m_panels.last(), 1, Qt::AlignTop);
    }
    column->addLayout(panels);
    return m_stats;
}

QWidget *BalancePage::buildToolbar(QWidget *parent)
{
    auto *bar = new QWidget(parent);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_add = new table::AddTableButton(QString(), bar);
    connect(m_add, &QToolButton::clicked, this, [this] {
        if (m_table->readyToLeaveRow())
            m_editor->addCashRow();
    });
    row->addWidget(m_add);

    auto *saving = new table::SavingIndicator(bar);
    m_saving = saving;
    m_savingText = saving->label();
    row->addWidget(m_saving);
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
    return bar;
}

void BalancePage::refresh()
{
    showStatistics();
    m_table->refresh();
    const BalanceInputs inputs = m_editor->inputs();
    m_add->setText(AppText::value(u"add", inputs.language.code));
    m_collapse->setLanguageCode(inputs.language.code);
    m_savingText->setText(AppText::value(u"saving", inputs.language.code));
    m_filter->setPlaceholderText(AppText::value(u"filterBalances", inputs.language.code));
    m_filterNote->setText(AppText::value(u"totalsCoverAllRows", inputs.language.code));
    m_saving->setVisible(inputs.isSaving);
}

void BalancePage::showStatistics()
{
    const BalanceInputs inputs = m_editor->inputs();
    const BalanceFigures figures = balanceFigures(m_editor->cashRows(), inputs);
    const CurrencyOption &currency = inputs.reportingCurrency;
    const QString language = inputs.language.code;
    const auto text = [&language](const char16_t *key) { return AppText::value(QStringView(key), language); };

    const double total = figures.totalAssetUSD();
    m_cards[0]->setFigure({text(u"investments"), format(currency, figures.holdingValueUSD, false), FigureTone::Green});
    m_cards[1]->setFigure({text(u"cashBalance"), format(currency, figures.cashValueUSD, false), FigureTone::Primary});
    m_cards[2]->setFigure({text(u"totalAsset"), format(currency, total, false), FigureTone::Blue});
    m_cards[3]->setFigure({text(u"marketCash"), ratioPercent(figures.holdingValueUSD, total), FigureTone::Secondary});

    m_panels[0]->setContent(text(u"cashByAccount"), figures.cashByAccount, currency, text(u"otherSlices"));
    m_panels[1]->setContent(text(u"holdingVsCash"), figures.holdingVsCash, currency, text(u"otherSlices"));
    m_panels[2]->setContent(text(u"assetByBroker"), figures.totalByBroker, currency, text(u"otherSlices"));
}

void BalancePage::showAlert()
{
    const auto &error = m_editor->balanceEditError();
    if (!error) {
        if (m_alert)
            m_alert->close();
        return;
    }
    const QString message = error->isEmpty() ? BalanceEditor::alertFallbackMessage : *error;
    if (m_alert) {
        m_alert->setText(message);
        return;
    }
    m_alert = new QMessageBox(QMessageBox::Warning, BalanceEditor::alertTitle, message, QMessageBox::NoButton, this);
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own button, in the language Qt's texts follow; the only button, so Escape takes it too.
    m_alert->setStandardButtons(QMessageBox::Ok);
    connect(m_alert, &QMessageBox::finished, m_editor, &BalanceEditor::dismissBalanceEditError);
    m_alert->open();
}

} // namespace quillfern

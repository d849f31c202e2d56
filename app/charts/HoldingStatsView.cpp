#include "app/charts/HoldingStatsView.h"

#include "app/charts/AllocationPanel.h"
#include "app/charts/HoldingStatistics.h"
#include "app/charts/MetricCard.h"
#include "app/charts/StatsCollapseButton.h"
#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QBoxLayout>

namespace quillfern {

HoldingStatsView::HoldingStatsView(Workspace &workspace, QWidget *parent) : QWidget(parent), m_workspace(workspace)
{
    auto *strip = new QHBoxLayout;
    strip->setSpacing(cardSpacing);
    for (int i = 0; i < 5; ++i) {
        auto *card = new MetricCard(this);
        strip->addWidget(card, 1, Qt::AlignVCenter);
        m_cards.append(card);
    }
    auto *section = new QHBoxLayout;
    section->setSpacing(panelSpacing);
    for (int i = 0; i < 3; ++i) {
        auto *panel = new AllocationPanel(this);
        section->addWidget(panel, 1, Qt::AlignTop);
        m_panels.append(panel);
    }
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(sectionSpacing);
    stack->addLayout(strip);
    stack->addLayout(section);

    connect(&workspace, &Workspace::summaryChanged, this, &HoldingStatsView::refresh);
    connect(&workspace, &Workspace::preferencesChanged, this, &HoldingStatsView::refresh);
    connect(&workspace, &Workspace::referenceDataChanged, this, &HoldingStatsView::refresh);
    connect(&workspace, &Workspace::holdingStatsExpandedChanged, this,
            [this] { revealAnimated(this, m_workspace.isHoldingStatsExpanded()); });
    setVisible(workspace.isHoldingStatsExpanded());
    refresh();
}

void HoldingStatsView::refresh()
{
    display(m_workspace.summary(), m_workspace.reportingCurrency(), m_workspace.selectedLanguage().code);
}

void HoldingStatsView::display(const PortfolioSummary &summary, const CurrencyOption &currency,
                               const QString &languageCode)
{
    const auto figures = holdingSummaryFigures(summary, currency, languageCode);
    for (std::size_t i = 0; i < figures.size(); ++i)
        m_cards[qsizetype(i)]->setFigure(figures[i]);
    m_cards.last()->setFigure(dayChangeFigure(m_workspace.totalDayChangeUsd(), currency, languageCode));
    const auto allocations = holdingAllocations(summary, languageCode);
    for (std::size_t i = 0; i < allocations.size(); ++i)
        m_panels[qsizetype(i)]->setContent(allocations[i].title, allocations[i].items, currency,
                                           AppText::value(u"otherSlices", languageCode));
}

StatsCollapseButton *holdingStatsButton(Workspace &workspace, QWidget *parent)
{
    auto *button = new StatsCollapseButton(parent);
    button->bind([&workspace] { return workspace.isHoldingStatsExpanded(); },
                 [&workspace](bool expanded) { workspace.setHoldingStatsExpanded(expanded); });
    QObject::connect(&workspace, &Workspace::holdingStatsExpandedChanged, button, &StatsCollapseButton::refresh);
    const auto speak = [&workspace, button] { button->setLanguageCode(workspace.selectedLanguage().code); };
    QObject::connect(&workspace, &Workspace::preferencesChanged, button, speak);
    QObject::connect(&workspace, &Workspace::referenceDataChanged, button, speak);
    speak();
    return button;
}

} // namespace quillfern

#pragma once

#include "core/ServiceRecords.h"
#include "core/analysis/PortfolioRecords.h"

#include <QList>
#include <QWidget>

namespace quillfern {

class AllocationPanel;
class MetricCard;
class StatsCollapseButton;
class Workspace;

// The holdings statistics: the strip of five figure cards (the fifth the day change) above the three allocation panels. It follows the
// workspace's summary, reporting currency and language, and shows only while the statistics are expanded.
class HoldingStatsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int sectionSpacing = 18;
    static constexpr int cardSpacing = 12;
    static constexpr int panelSpacing = 16;

    explicit HoldingStatsView(Workspace &workspace, QWidget *parent = nullptr);

    // Rewrites every card and panel from the workspace.
    void refresh();

    const QList<MetricCard *> &cards() const { return m_cards; }
    const QList<AllocationPanel *> &panels() const { return m_panels; }

private:
    void display(const PortfolioSummary &summary, const CurrencyOption &currency, const QString &languageCode);

    Workspace &m_workspace;
    QList<MetricCard *> m_cards;
    QList<AllocationPanel *> m_panels;
};

// A collapse button bound to the workspace's holdings statistics flag, in the workspace's language.
StatsCollapseButton *holdingStatsButton(Workspace &workspace, QWidget *parent = nullptr);

} // namespace quillfern

#pragma once

// The fourth page of the window: the account's value over a chosen period, its returns and income, and
// the holdings that moved it most. It shows the workspace's performance figures and forwards the period.

#include "app/workspace/PerformancePeriod.h"

#include <QList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QStackedWidget;
class QTableView;

namespace quillfern {

class ContributionModel;
class IncomeBars;
class MetricCard;
class ValueChart;
class Workspace;

class PerformancePage : public QWidget {
    Q_OBJECT

public:
    explicit PerformancePage(Workspace &workspace, QWidget *parent = nullptr);

    ValueChart *chart() const { return m_chart; }
    IncomeBars *incomeBars() const { return m_income; }
    const QList<MetricCard *> &cards() const { return m_cards; }
    QAbstractButton *periodButton(PerformancePeriod period) const;
    // Shown instead of the chart while the period has no history.
    QWidget *emptyState() const { return m_empty; }
    QLabel *missingNote() const { return m_missing; }
    QLabel *errorLine() const { return m_error; }
    QTableView *topTable() const { return m_top; }
    QTableView *bottomTable() const { return m_bottom; }

private:
    QWidget *buildPeriodSelector();
    QTableView *buildTable(ContributionModel *model);
    void refresh();
    void retranslate();

    Workspace &m_workspace;
    QButtonGroup *m_periods = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_error = nullptr;
    QList<MetricCard *> m_cards;
    QLabel *m_missing = nullptr;
    QStackedWidget *m_chartStack = nullptr;
    ValueChart *m_chart = nullptr;
    QWidget *m_empty = nullptr;
    QLabel *m_emptyTitle = nullptr;
    QLabel *m_emptyHint = nullptr;
    QWidget *m_details = nullptr;
    QLabel *m_incomeTitle = nullptr;
    IncomeBars *m_income = nullptr;
    QLabel *m_topTitle = nullptr;
    QLabel *m_bottomTitle = nullptr;
    ContributionModel *m_topModel = nullptr;
    ContributionModel *m_bottomModel = nullptr;
    QTableView *m_top = nullptr;
    QTableView *m_bottom = nullptr;
};

} // namespace quillfern

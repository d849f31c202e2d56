#pragma once

// The second page of the window: the cash balances per broker and currency set against each broker's
// holdings, under a strip of four figures and three allocation panels, all inside a vertical scroll area.
// The page follows the workspace by itself; the window only places it.

#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>

class QLabel;

namespace quillfern {

class AllocationPanel;
class BalanceEditor;
class BalanceTable;
class MetricCard;
class StatsCollapseButton;
class Workspace;

namespace table {
class AddTableButton;
class FilterField;
}

class BalancePage : public QScrollArea {
    Q_OBJECT

public:
    explicit BalancePage(Workspace &workspace, QWidget *parent = nullptr);

    BalanceEditor &editor() const { return *m_editor; }
    BalanceTable *table() const { return m_table; }
    const QList<MetricCard *> &cards() const { return m_cards; }
    const QList<AllocationPanel *> &panels() const { return m_panels; }
    QWidget *statistics() const { return m_stats; }
    StatsCollapseButton *collapseButton() const { return m_collapse; }
    table::AddTableButton *addButton() const { return m_add; }
    QWidget *savingIndicator() const { return m_saving; }
    table::FilterField *filterField() const { return m_filter; }
    // Shown while a filter is on: the totals and charts still cover every row.
    QLabel *filterNote() const { return m_filterNote; }
    // The "Unable to Edit Balance" alert while it is shown.
    QMessageBox *alert() const { return m_alert; }

public Q_SLOTS:
    // Everything shown follows the workspace and the page's rules again.
    void refresh();

private:
    QWidget *buildStatistics(QWidget *parent);
    QWidget *buildToolbar(QWidget *parent);
    void showStatistics();
    void showAlert();

    Workspace &m_workspace;
    BalanceEditor *m_editor;
    QWidget *m_stats = nullptr;
    QList<MetricCard *> m_cards;
    QList<AllocationPanel *> m_panels;
    StatsCollapseButton *m_collapse = nullptr;
    table::AddTableButton *m_add = nullptr;
    QWidget *m_saving = nullptr;
    QLabel *m_savingText = nullptr;
    table::FilterField *m_filter = nullptr;
    QLabel *m_filterNote = nullptr;
    BalanceTable *m_table = nullptr;
    QPointer<QMessageBox> m_alert;
};

} // namespace quillfern

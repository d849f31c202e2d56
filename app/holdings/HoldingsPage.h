#pragma once

// The first page of the window: statistics, their collapse button, the table toolbar and the table.

#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

namespace quillfern {

class HoldingStatsView;
class HoldingsEditor;
class HoldingsTable;
class Workspace;

namespace table {
class AddTableButton;
class FilterField;
}

class HoldingsPage : public QWidget {
    Q_OBJECT

public:
    explicit HoldingsPage(Workspace &workspace, QWidget *parent = nullptr);
    ~HoldingsPage() override;

    HoldingsEditor &editor() const { return *m_editor; }
    HoldingsTable *table() const { return m_table; }
    HoldingStatsView *stats() const { return m_stats; }
    table::AddTableButton *addRowButton() const { return m_addRow; }
    QToolButton *addBrokerageButton() const { return m_addBrokerage; }
    QToolButton *refreshButton() const { return m_refresh; }
    QLabel *priceStatus() const { return m_priceStatus; }
    QLabel *rowStatus() const { return m_rowStatus; }
    // Shown after a delete: undoes it.
    QToolButton *rowStatusUndo() const { return m_undoOffer; }
    QWidget *savingIndicator() const { return m_saving; }
    table::FilterField *filterField() const { return m_filter; }
    // Shown while a filter is on: the totals and charts still cover every row.
    QLabel *filterNote() const { return m_filterNote; }

Q_SIGNALS:
    // The add-brokerage dialog belongs to the window.
    void addBrokerageRequested();

private:
    QWidget *buildToolbar();
    void showState();
    void retranslate();

    Workspace &m_workspace;
    HoldingsEditor *m_editor;
    HoldingStatsView *m_stats;
    HoldingsTable *m_table = nullptr;
    table::AddTableButton *m_addRow = nullptr;
    QToolButton *m_addBrokerage = nullptr;
    QToolButton *m_refresh = nullptr;
    QLabel *m_priceStatus = nullptr;
    QLabel *m_rowStatus = nullptr;
    table::FilterField *m_filter = nullptr;
    QLabel *m_filterNote = nullptr;
    QToolButton *m_undoOffer = nullptr;
    QWidget *m_saving = nullptr;
    QLabel *m_savingText = nullptr;
};

} // namespace quillfern

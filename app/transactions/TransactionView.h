#pragma once

// The third page of the window: the book of the account. Cards with the gains realised and the income
// of this year and of all time in the reporting currency, filters by broker, code, type and year above
// the ledger, the ledger itself sortable by any column, and the closed positions in place of the ledger
// at the toggle's press. Double-click or Enter edits a row in the sheet, Delete or the context menu
// deletes it; both are undoable. The page follows the workspace by itself; the window only places it.

#include "app/transactions/TransactionEditor.h"

#include <QMenu>
#include <QPointer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;
class QToolButton;

namespace quillfern {

class ClosedPositionsModel;
class LedgerFilter;
class MetricCard;
class TransactionChanges;
class TransactionEditorSheet;
class TransactionLedgerModel;
class Workspace;

class TransactionPage : public QWidget {
    Q_OBJECT

public:
    // The count line: how many records, in the language's words.
    static QString countText(qsizetype count, const QString &languageCode);

    explicit TransactionPage(Workspace &workspace, QWidget *parent = nullptr);

    QPushButton *addButton() const { return m_add; }
    QLabel *countLabel() const { return m_count; }
    QTableView *ledger() const { return m_view; }
    TransactionLedgerModel *model() const { return m_model; }
    LedgerFilter *filter() const { return m_filter; }
    TransactionChanges &changes() const { return *m_changes; }
    // This year's and all time's realised gains, then this year's and all time's income.
    const QList<MetricCard *> &cards() const { return m_cards; }
    // The broker, code, type and year filters.
    const QList<QComboBox *> &filterPickers() const { return m_pickers; }
    QToolButton *closedPositionsToggle() const { return m_closedToggle; }
    QTableView *closedPositionsView() const { return m_closedView; }
    QLabel *statusLabel() const { return m_status; }
    QToolButton *undoOffer() const { return m_undoOffer; }
    // The open sheet, or none.
    TransactionEditorSheet *editorSheet() const { return m_sheet; }
    bool isAddingTransaction() const { return m_sheet != nullptr; }
    // The row menu while it is open.
    QMenu *rowMenu() const { return m_menu; }

public Q_SLOTS:
    // Opens a fresh sheet, unless one is open already.
    void openEditor();
    // Opens the sheet on the ledger's current row; a type this version does not know is not edited.
    void editCurrentRow();
    // Deletes the ledger's current row, undoably.
    void deleteCurrentRow();
    void refresh();

Q_SIGNALS:
    // The sheet opened or closed.
    void addingTransactionChanged(bool adding);

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildFilters();
    void openSheet(std::optional<TransactionRecord> editing);
    void showRowMenu(const QPoint &position);
    void showFigures();
    void showFilterChoices();
    void applyFilters();
    void showChangeStatus();
    void applyPalette();
    void keepMinimumWidth(int column, int size);
    const TransactionRecord *currentRecord() const;

    Workspace &m_workspace;
    TransactionChanges *m_changes;
    TransactionLedgerModel *m_model;
    LedgerFilter *m_filter;
    ClosedPositionsModel *m_closed;
    QPushButton *m_add;
    QLabel *m_count;
    QLabel *m_status;
    QToolButton *m_undoOffer;
    QToolButton *m_closedToggle;
    QList<MetricCard *> m_cards;
    QWidget *m_filterBar;
    QList<QComboBox *> m_pickers;
    QStackedWidget *m_stack;
    QTableView *m_view;
    QTableView *m_closedView;
    QPointer<TransactionEditorSheet> m_sheet;
    QPointer<QMenu> m_menu;
};

} // namespace quillfern

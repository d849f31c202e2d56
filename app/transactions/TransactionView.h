#pragma once

// The third page of the window: the ledger of buys and sells as the workspace holds it, and the button
// that opens the "Add Transaction" sheet. The page follows the workspace by itself; the window only
// places it.

#include "app/transactions/TransactionEditor.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableView;

namespace quillfern {

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
    // The open sheet, or none.
    TransactionEditorSheet *editorSheet() const { return m_sheet; }
    bool isAddingTransaction() const { return m_sheet != nullptr; }

public Q_SLOTS:
    // Opens a fresh sheet, unless one is open already.
    void openEditor();
    void refresh();

Q_SIGNALS:
    // The sheet opened or closed.
    void addingTransactionChanged(bool adding);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyPalette();
    void keepMinimumWidth(int column, int size);

    Workspace &m_workspace;
    TransactionLedgerModel *m_model;
    QPushButton *m_add;
    QLabel *m_count;
    QTableView *m_view;
    QPointer<TransactionEditorSheet> m_sheet;
};

} // namespace quillfern

#pragma once

// The "Add Transaction" sheet: a window-modal dialog over the page, one field per entry of the editor,
// the editor's message in red, and Cancel and Add. It starts from fresh entries every time it opens and
// closes itself once the transaction is stored.

#include "app/transactions/TransactionEditor.h"

#include <QDialog>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillfern {

class TransactionEditorSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 560;

    TransactionEditorSheet(TransactionReferenceData reference, TransactionSave onSave, QWidget *parent = nullptr);

    TransactionEditor &editor() const { return *m_editor; }

    QComboBox *brokerPicker() const { return m_broker; }
    QComboBox *marketPicker() const { return m_market; }
    QLineEdit *codeField() const { return m_code; }
    QComboBox *typePicker() const { return m_type; }
    QLineEdit *quantityField() const { return m_quantity; }
    QLineEdit *priceField() const { return m_price; }
    QLineEdit *commissionField() const { return m_commission; }
    QComboBox *currencyPicker() const { return m_currency; }
    QComboBox *sectorPicker() const { return m_sector; }
    QComboBox *industryPicker() const { return m_industry; }
    QDateTimeEdit *tradeTimeField() const { return m_tradedAt; }
    QPlainTextEdit *reasonField() const { return m_reason; }
    QLabel *errorLabel() const { return m_error; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *addButton() const { return m_addButton; }

private:
    QLineEdit *numberField(double TransactionEntries::*entry);
    void edit(const std::function<void(TransactionEntries &)> &change);
    void showEntries();
    void showState();

    TransactionEditor *m_editor;
    QComboBox *m_broker;
    QComboBox *m_market;
    QLineEdit *m_code;
    QComboBox *m_type;
    QLineEdit *m_quantity;
    QLineEdit *m_price;
    QLineEdit *m_commission;
    QComboBox *m_currency;
    QComboBox *m_sector;
    QComboBox *m_industry;
    QDateTimeEdit *m_tradedAt;
    QPlainTextEdit *m_reason;
    QLabel *m_error;
    QPushButton *m_cancelButton;
    QPushButton *m_addButton;
};

} // namespace quillfern

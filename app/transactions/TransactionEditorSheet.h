#pragma once

// The transaction sheet: a window-modal dialog over the page with the fields of the picked type, the
// editor's message in red, and Cancel and Add (Save when it edits a stored transaction). It starts from
// fresh entries, or the stored ones, every time it opens and closes itself once the service stored it.

#include "app/transactions/TransactionEditor.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillfern {

class TransactionEditorSheet : public QDialog {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 560;

    // With editing, the sheet edits that transaction.
    TransactionEditorSheet(TransactionReferenceData reference, TransactionSave onSave, QWidget *parent = nullptr,
                           std::optional<TransactionRecord> editing = std::nullopt);

    TransactionEditor &editor() const { return *m_editor; }

    QComboBox *brokerPicker() const { return m_broker; }
    QComboBox *marketPicker() const { return m_market; }
    QLineEdit *codeField() const { return m_code; }
    QComboBox *typePicker() const { return m_type; }
    QLineEdit *quantityField() const { return m_quantity; }
    QLineEdit *priceField() const { return m_price; }
    QLineEdit *commissionField() const { return m_commission; }
    QLineEdit *amountField() const { return m_amount; }
    QLineEdit *splitNewField() const { return m_splitNew; }
    QLineEdit *splitOldField() const { return m_splitOld; }
    QCheckBox *settlesInCashBox() const { return m_settles; }
    QComboBox *currencyPicker() const { return m_currency; }
    QComboBox *sectorPicker() const { return m_sector; }
    QComboBox *industryPicker() const { return m_industry; }
    QDateTimeEdit *tradeTimeField() const { return m_tradedAt; }
    QPlainTextEdit *reasonField() const { return m_reason; }
    QLabel *errorLabel() const { return m_error; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    QPushButton *addButton() const { return m_addButton; }
    // Whether the form shows the row of this field (one of the accessors above).
    bool showsField(QWidget *field) const;

private:
    QLineEdit *numberField(double TransactionEntries::*entry);
    void edit(const std::function<void(TransactionEntries &)> &change);
    void showEntries();
    void showForm();
    void showState();

    TransactionEditor *m_editor;
    QFormLayout *m_form;
    QComboBox *m_broker;
    QComboBox *m_market;
    QLineEdit *m_code;
    QComboBox *m_type;
    QLineEdit *m_quantity;
    QLabel *m_priceLabel;
    QLineEdit *m_price;
    QLineEdit *m_commission;
    QLineEdit *m_amount;
    QWidget *m_split;
    QLineEdit *m_splitNew;
    QLineEdit *m_splitOld;
    QCheckBox *m_settles;
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

#pragma once

// The balance page's rules and local state, free of widgets: adding a row on the first free broker and
// currency pair, edit mode with its copy for cancel, the checks on save, delete, and the pickers'
// bindings that refuse a duplicate pair. The cash rows themselves stay the workspace's; this class reads
// and writes them through a binding and asks for a save only when a row is saved or deleted. A saved, added
// or deleted row is a command on the binding's undo stack, when it has one; undoing it writes the rows and
// asks for a save like any edit.

#include "app/balances/BalanceFigures.h"
#include "text/Localization.h"

#include <QObject>

class QUndoStack;

#include <functional>
#include <optional>

namespace quillfern {

class Workspace;

class BalanceEditor : public QObject {
    Q_OBJECT

public:
    // How the page reaches the workspace: the working copy of the cash rows, the other inputs as they
    // stand now, and the save request (onRowsChanged).
    struct Binding {
        std::function<QList<CashRow>()> cashRows;
        std::function<void(QList<CashRow>)> setCashRows;
        std::function<BalanceInputs()> inputs;
        std::function<void()> onRowsChanged;
        // Where completed changes go; none applies them without a way back.
        QUndoStack *undoStack = nullptr;
    };

    // A two-way text binding, as a picker uses it: set may refuse, and get then still gives the old value.
    struct TextBinding {
        std::function<QString()> get;
        std::function<void(const QString &)> set;
    };

    // A text of the catalogue: in the window's current language wherever a QString is wanted, or in a given
    // one.
    struct Message {
        const char16_t *key;

        operator QString() const { return AppText::text(QStringView(key)); }
        QString in(const QString &languageCode) const { return AppText::value(QStringView(key), languageCode); }
    };

    static constexpr Message duplicatePairMessage{u"duplicateCashPair"};
    static constexpr Message negativeCashMessage{u"negativeCash"};
    static constexpr Message noFreePairMessage{u"noFreeCashPair"};
    static constexpr Message alertTitle{u"balanceAlertTitle"};
    static constexpr Message alertFallbackMessage{u"uniqueCashPairHint"};

    static Binding bindingFor(Workspace &workspace);

    explicit BalanceEditor(Binding binding, QObject *parent = nullptr);

    QList<CashRow> cashRows() const { return m_binding.cashRows(); }
    BalanceInputs inputs() const { return m_binding.inputs(); }
    BalanceFigures figures() const { return balanceFigures(cashRows(), inputs()); }
    QStringList brokerOptions() const;
    // The currency picker's entries: the code of every listed currency, in list order.
    QStringList currencyCodes() const;

    bool isBalanceStatsExpanded() const { return m_statsExpanded; }
    void setBalanceStatsExpanded(bool expanded);
    const std::optional<QString> &balanceEditError() const { return m_error; }
    // The alert was dismissed.
    void dismissBalanceEditError();
    const std::optional<QString> &editingCashRowID() const { return m_editingID; }
    const std::optional<CashRow> &originalCashRow() const { return m_original; }
    // The row in edit mode was added and never saved: cancelling it takes it away again.
    bool isEditingNewCashRow() const { return m_editingNew; }
    const BalanceColumnWidths &balanceWidths() const { return m_widths; }
    void setBalanceWidths(const BalanceColumnWidths &widths) { m_widths = widths; }

    void addCashRow();
    // A row in edit mode is left first: one added and left as it was goes away, any other is saved. When
    // its save is refused, it stays in edit mode with the reason and the other row is not entered.
    void beginCashEditing(const CashRow &row);
    void saveCashRow();
    void cancelCashEditing();
    void deleteCashRow(const QString &id);
    TextBinding uniqueBrokerBinding(const QString &rowID);
    TextBinding uniqueCurrencyBinding(const QString &rowID);
    // The workspace replaced or changed the rows (a load, a reload after a trade, a sign-out). A row in
    // edit mode that is gone leaves edit mode, so that its old copy can never be put back later over a
    // row of the same id loaded afresh.
    void cashRowsDidChange();
    // The cash field of an editing row: written at once, checked only on save. Unknown ids are ignored.
    void setOriginalCash(const QString &rowID, double amount);

Q_SIGNALS:
    // editingCashRowID changed.
    void editingChanged();
    // balanceEditError was set or cleared.
    void balanceEditErrorChanged();
    void balanceStatsExpandedChanged();

private:
    void setError(std::optional<QString> error);
    // The message in the language the page shows.
    QString text(const Message &message) const { return message.in(inputs().language.code); }
    // Leaves edit mode ahead of editing the row with this id (none for a new row); false when the row
    // in edit mode stays in it.
    bool leaveEditingFor(const QString &id);
    void setEditing(std::optional<QString> id, std::optional<CashRow> original);
    // Applies change to the row with id, when there is one, and writes the list back.
    void changeRow(const QString &id, const std::function<void(CashRow &)> &change);
    // Records a completed change from before to after (none: no row) and applies it.
    void commit(const QString &text, std::optional<CashRow> before, std::optional<CashRow> after, int index);
    QString commandText(const char16_t *key, const CashRow &row) const;

    Binding m_binding;
    bool m_statsExpanded = true;
    std::optional<QString> m_error;
    std::optional<QString> m_editingID;
    std::optional<CashRow> m_original;
    bool m_editingNew = false;
    BalanceColumnWidths m_widths;
};

} // namespace quillfern

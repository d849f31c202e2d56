#include "app/balances/BalanceEditor.h"

#include "app/workspace/Workspace.h"
#include "core/CurrencyCatalog.h"
#include "text/Localization.h"

#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

namespace quillfern {

namespace {

// One cash row as it was and as it becomes; none stands for no row. Undo and redo write the state into the
// list and ask for a save; a row of the editor in edit mode leaves edit mode first.
class CashRowCommand : public QUndoCommand {
public:
    CashRowCommand(const QString &text, BalanceEditor::Binding binding, QPointer<BalanceEditor> editor,
                   std::optional<CashRow> before, std::optional<CashRow> after, int index)
        : QUndoCommand(text), m_binding(std::move(binding)), m_editor(std::move(editor)), m_before(std::move(before)),
          m_after(std::move(after)), m_index(index)
    {
    }

    void undo() override { write(m_before); }
    void redo() override { write(m_after); }

private:
    void write(const std::optional<CashRow> &state)
    {
        const QString id = m_before ? m_before->id : m_after->id;
        if (m_editor && m_editor->editingCashRowID() == id)
            m_editor->cancelCashEditing();
        QList<CashRow> rows = m_binding.cashRows();
        const auto found = std::find_if(rows.begin(), rows.end(), [&id](const CashRow &row) { return row.id == id; });
        if (state && found != rows.end())
            *found = *state;
        else if (state)
            rows.insert(std::clamp(m_index, 0, int(rows.size())), *state);
        else if (found != rows.end())
            rows.erase(found);
        m_binding.setCashRows(rows);
        m_binding.onRowsChanged();
    }

    BalanceEditor::Binding m_binding;
    QPointer<BalanceEditor> m_editor;
    std::optional<CashRow> m_before;
    std::optional<CashRow> m_after;
    int m_index;
};

} // namespace

BalanceEditor::Binding BalanceEditor::bindingFor(Workspace &workspace)
{
    Binding binding;
    binding.cashRows = [&workspace] { return workspace.cashRows(); };
    binding.setCashRows = [&workspace](QList<CashRow> rows) { workspace.setCashRows(std::move(rows)); };
    binding.inputs = [&workspace] {
        BalanceInputs inputs;
        const PortfolioSummary &summary = workspace.summary();
        inputs.holdingValueUSD = summary.totalMarketValueUsd;
        inputs.holdingByBroker = summary.byBroker;
        inputs.reportingCurrency = workspace.reportingCurrency();
        inputs.supportedCurrencies = workspace.currencies();
        inputs.brokerageOptions = workspace.brokerageNames();
        inputs.language = workspace.selectedLanguage();
        inputs.isSaving = workspace.isSavingPortfolio();
        return inputs;
    };
    binding.onRowsChanged = [&workspace] { workspace.schedulePortfolioSave(); };
    binding.undoStack = &workspace.undoStack();
    return binding;
}

BalanceEditor::BalanceEditor(Binding binding, QObject *parent) : QObject(parent), m_binding(std::move(binding)) {}

QStringList BalanceEditor::brokerOptions() const
{
    return quillfern::brokerOptions(inputs().brokerageOptions);
}

QStringList BalanceEditor::currencyCodes() const
{
    QStringList codes;
    for (const CurrencyOption &option : inputs().supportedCurrencies)
        codes.append(option.code);
    return codes;
}

void BalanceEditor::setBalanceStatsExpanded(bool expanded)
{
    if (expanded == m_statsExpanded)
        return;
    m_statsExpanded = expanded;
    Q_EMIT balanceStatsExpandedChanged();
}

void BalanceEditor::dismissBalanceEditError()
{
    setError(std::nullopt);
}

void BalanceEditor::addCashRow()
{
    if (!leaveEditingFor(QString()))
        return;
    const QList<CashRow> rows = cashRows();
    const BalanceInputs given = inputs();
    const QList<CurrencyOption> currencies = candidateCurrencies(given.supportedCurrencies);
    for (const QString &broker : quillfern::brokerOptions(given.brokerageOptions)) {
        for (const CurrencyOption &currency : currencies) {
            if (isTakenPair(rows, QString(), broker, currency.code))
                continue;
            CashRow row{newRowID(), broker, 0, currency.code, currency.fxToUsd};
            QList<CashRow> grown = rows;
            grown.append(row);
            m_binding.setCashRows(grown);
            // Editing starts on the row as the list now holds it, which is the new one.
            beginCashEditing(cashRows().last());
            m_editingNew = true;
            return;
        }
    }
    setError(text(noFreePairMessage));
}

bool BalanceEditor::leaveEditingFor(const QString &id)
{
    if (!m_editingID || *m_editingID == id)
        return true;
    const QList<CashRow> rows = cashRows();
    const auto found =
        std::find_if(rows.cbegin(), rows.cend(), [this](const CashRow &row) { return row.id == *m_editingID; });
    if (found == rows.cend()) {
        m_editingNew = false;
        setEditing(std::nullopt, std::nullopt);
    } else if (m_editingNew && m_original && *found == *m_original) {
        cancelCashEditing();
    } else {
        saveCashRow();
    }
    return !m_editingID;
}

void BalanceEditor::beginCashEditing(const CashRow &given)
{
    const CashRow row = given; // leaving the row in edit mode may move the list given came from
    if (!leaveEditingFor(row.id))
        return;
    m_editingNew = false;
    setEditing(row.id, row);
    setError(std::nullopt);
}

void BalanceEditor::saveCashRow()
{
    if (!m_editingID)
        return;
    const QList<CashRow> rows = cashRows();
    const auto found =
        std::find_if(rows.cbegin(), rows.cend(), [this](const CashRow &row) { return row.id == *m_editingID; });
    if (found == rows.cend())
        return;
    if (!(found->originalCash >= 0)) {
        setError(text(negativeCashMessage));
        return;
    }
    if (isTakenPair(rows, found->id, found->broker, found->currency)) {
        setError(text(duplicatePairMessage));
        return;
    }
    const CashRow saved = *found;
    const std::optional<CashRow> before = m_editingNew ? std::nullopt : m_original;
    m_editingNew = false;
    setEditing(std::nullopt, std::nullopt);
    if (before && *before == saved)
        m_binding.onRowsChanged();
    else
        commit(commandText(before ? u"changeCashCommand" : u"addCashCommand", saved), before, saved,
               int(found - rows.cbegin()));
}

void BalanceEditor::cancelCashEditing()
{
    if (m_editingID && m_editingNew) {
        // A new row that was never saved goes away with its edit.
        QList<CashRow> rows = cashRows();
        const QString id = *m_editingID;
        rows.removeIf([&id](const CashRow &row) { return row.id == id; });
        m_editingNew = false;
        setEditing(std::nullopt, std::nullopt);
        m_binding.setCashRows(rows);
    } else if (m_original) {
        const CashRow original = *m_original;
        changeRow(original.id, [&original](CashRow &row) { row = original; });
    }
    setEditing(std::nullopt, std::nullopt);
    setError(std::nullopt);
}

void BalanceEditor::deleteCashRow(const QString &id)
{
    const QList<CashRow> rows = cashRows();
    const auto found = std::find_if(rows.cbegin(), rows.cend(), [&id](const CashRow &row) { return row.id == id; });
    if (found == rows.cend())
        return;
    const bool editing = m_editingID == id;
    if (editing && m_editingNew) {
        cancelCashEditing();
        return;
    }
    // A row in edit mode comes back as it was before the edit.
    const CashRow row = editing && m_original ? *m_original : *found;
    if (editing)
        setEditing(std::nullopt, std::nullopt);
    commit(commandText(u"deleteCashCommand", row), row, std::nullopt, int(found - rows.cbegin()));
}

void BalanceEditor::commit(const QString &text, std::optional<CashRow> before, std::optional<CashRow> after, int index)
{
    auto *command = new CashRowCommand(text, m_binding, this, std::move(before), std::move(after), index);
    if (m_binding.undoStack) {
        m_binding.undoStack->push(command); // runs it once
        return;
    }
    command->redo();
    delete command;
}

QString BalanceEditor::commandText(const char16_t *key, const CashRow &row) const
{
    return AppText::format(key, inputs().language.code, {row.currency, row.broker});
}

BalanceEditor::TextBinding BalanceEditor::uniqueBrokerBinding(const QString &rowID)
{
    TextBinding binding;
    binding.get = [this, rowID] {
        for (const CashRow &row : cashRows()) {
            if (row.id == rowID)
                return row.broker;
        }
        return QString();
    };
    binding.set = [this, rowID](const QString &broker) {
        const QList<CashRow> rows = cashRows();
        for (const CashRow &row : rows) {
            if (row.id != rowID)
                continue;
            // Picking the broker the row already has changes nothing.
            if (broker == row.broker)
                return;
            if (isTakenPair(rows, rowID, broker, row.currency)) {
                setError(text(duplicatePairMessage));
                return;
            }
            changeRow(rowID, [&broker](CashRow &changed) { changed.broker = broker; });
            return;
        }
    };
    return binding;
}

BalanceEditor::TextBinding BalanceEditor::uniqueCurrencyBinding(const QString &rowID)
{
    TextBinding binding;
    binding.get = [this, rowID] {
        for (const CashRow &row : cashRows()) {
            if (row.id == rowID)
                return row.currency;
        }
        return QString();
    };
    binding.set = [this, rowID](const QString &code) {
        const QList<CashRow> rows = cashRows();
        for (const CashRow &row : rows) {
            if (row.id != rowID)
                continue;
            // Picking the currency the row already has keeps its stored rate: only a change replaces it.
            if (code == row.currency)
                return;
            if (isTakenPair(rows, rowID, row.broker, code)) {
                setError(text(duplicatePairMessage));
                return;
            }
            // The stored rate belongs to the old currency; the listed one, or the built-in one, replaces it.
            double rate = CurrencyCatalog::fxToUSD(code);
            for (const CurrencyOption &option : inputs().supportedCurrencies) {
                if (option.code == code) {
                    rate = option.fxToUsd;
                    break;
                }
            }
            changeRow(rowID, [&code, rate](CashRow &changed) {
                changed.currency = code;
                changed.serverFXToUSD = rate;
            });
            return;
        }
    };
    return binding;
}

void BalanceEditor::cashRowsDidChange()
{
    if (!m_editingID)
        return;
    const QList<CashRow> rows = cashRows();
    const bool present =
        std::any_of(rows.cbegin(), rows.cend(), [this](const CashRow &row) { return row.id == *m_editingID; });
    if (!present) {
        m_editingNew = false;
        setEditing(std::nullopt, std::nullopt);
    }
}

void BalanceEditor::setOriginalCash(const QString &rowID, double amount)
{
    changeRow(rowID, [amount](CashRow &row) { row.originalCash = amount; });
}

void BalanceEditor::setError(std::optional<QString> error)
{
    if (error == m_error)
        return;
    m_error = std::move(error);
    Q_EMIT balanceEditErrorChanged();
}

void BalanceEditor::setEditing(std::optional<QString> id, std::optional<CashRow> original)
{
    const bool changed = id != m_editingID;
    m_editingID = std::move(id);
    m_original = std::move(original);
    if (changed)
        Q_EMIT editingChanged();
}

void BalanceEditor::changeRow(const QString &id, const std::function<void(CashRow &)> &change)
{
    QList<CashRow> rows = cashRows();
    for (CashRow &row : rows) {
        if (row.id == id) {
            change(row);
            m_binding.setCashRows(rows);
            return;
        }
    }
}

} // namespace quillfern

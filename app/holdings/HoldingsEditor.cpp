// Holdings row editing: one row at a time is bound to the editor; saving validates, normalises and
// commits it as an undoable command, then the workspace saves the portfolio and fetches the row's price.

#include "app/holdings/HoldingsEditor.h"

#include "app/workspace/EditDebugLog.h"
#include "core/HoldingRules.h"
#include "text/Localization.h"

#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

#include <functional>

namespace quillfern {

namespace {

const QString editPrefix = QStringLiteral("[Quillfern][Edit] ");

void trace(const QString &message)
{
    EditDebugLog::write(editPrefix + message);
}

QString shownCode(const AssetRow &row, const QString &language)
{
    return row.code.isEmpty() ? AppText::value(u"newRowName", language) : row.code;
}

// A status about one row, made again in another language when the user picks one.
StatusLine rowStatus(const char16_t *key, const QString &code, const QString &language)
{
    return StatusLine([key, code](const QString &in) { return AppText::format(QStringView(key), in, {code}); },
                      language);
}

// One holding as it was and as it becomes; none stands for no row. Undo and redo write the state, keep the
// price the last refresh wrote (a refresh is not the user's change), and ask for a save.
class HoldingRowCommand : public QUndoCommand {
public:
    HoldingRowCommand(const QString &text, HoldingRows &rows, std::function<void(const QString &)> beforeWrite,
                      std::optional<AssetRow> before, std::optional<AssetRow> after, int index)
        : QUndoCommand(text), m_rows(&rows), m_beforeWrite(std::move(beforeWrite)), m_before(std::move(before)),
          m_after(std::move(after)), m_index(index)
    {
    }

    void undo() override
    {
        write(m_before);
        tell(u"undoneChange");
    }
    void redo() override
    {
        write(m_after);
        // The first run is the change itself, which its editor reports.
        if (std::exchange(m_ranOnce, true))
            tell(u"redoneChange");
    }

private:
    void tell(const char16_t *key)
    {
        if (m_rows)
            m_rows->setRowEditStatusLine(rowStatus(key, text(), m_rows->displayLanguageCode()));
    }

    void write(const std::optional<AssetRow> &state)
    {
        if (!m_rows)
            return;
        const QString id = m_before ? m_before->id : m_after->id;
        m_beforeWrite(id);
        const QList<AssetRow> &rows = m_rows->rows();
        const auto found =
            std::find_if(rows.cbegin(), rows.cend(), [&id](const AssetRow &row) { return row.id == id; });
        if (state && found != rows.cend()) {
            AssetRow row = *state;
            row.currentPrice = found->currentPrice;
            m_rows->updateRow(id, row);
        } else if (state) {
            m_rows->insertRow(m_index, *state);
        } else if (found != rows.cend()) {
            m_rows->removeRow(id);
        }
        m_rows->schedulePortfolioSave();
    }

    QPointer<HoldingRows> m_rows;
    std::function<void(const QString &)> m_beforeWrite;
    std::optional<AssetRow> m_before;
    std::optional<AssetRow> m_after;
    int m_index;
    bool m_ranOnce = false;
};

} // namespace

HoldingsEditor::HoldingsEditor(HoldingRows &rows, QUndoStack &undoStack, QObject *parent)
    : QObject(parent), m_rows(rows), m_undoStack(undoStack)
{
    connect(&rows, &HoldingRows::rowsReset, this, &HoldingsEditor::rowsWereReset);
    connect(&rows, &HoldingRows::rowRemoved, this, &HoldingsEditor::rowsWereReset);
    connect(&undoStack, &QUndoStack::indexChanged, this, [this] {
        if (!m_offersUndo)
            return;
        m_offersUndo = false;
        Q_EMIT editingChanged();
    });
}

AssetRow HoldingsEditor::newRow() const
{
    AssetRow row;
    row.id = newRowID();
    row.market = QStringLiteral("US");
    const QStringList sectors = m_rows.gicsSectorNames();
    if (!sectors.isEmpty()) {
        row.sector = sectors.first();
        row.subSector = keptSubIndustry(m_rows.gicsSubIndustryNames(row.sector), QString());
    }
    const QStringList brokers = m_rows.brokerageNames();
    row.broker = brokers.isEmpty() ? QStringLiteral("Snowball") : brokers.first();
    return row;
}

QString HoldingsEditor::addRow()
{
    if (!leaveEditingFor(QString()))
        return {};
    const AssetRow row = newRow();
    m_rows.insertRow(int(m_rows.rows().size()), row);
    beginEditing(row);
    m_editingNewRow = true;
    return row.id;
}

bool HoldingsEditor::leaveEditingFor(const QString &id)
{
    if (!m_editingRowID || *m_editingRowID == id)
        return true;
    const int position = indexOfRow(*m_editingRowID);
    if (m_editingNewRow && position >= 0 && m_originalEditingRow && m_rows.rows()[position] == *m_originalEditingRow)
        cancelEditing();
    else
        saveEditingRow();
    return !m_editingRowID;
}

void HoldingsEditor::beginEditing(const AssetRow &given)
{
    const AssetRow row = given; // leaving the row in edit mode may move the list given came from
    if (!leaveEditingFor(row.id))
        return;
    trace(QStringLiteral("begin id=") + row.id + QStringLiteral(" code=") + row.code);
    m_originalEditingRow = row;
    m_editingRowID = row.id;
    m_editingNewRow = false;
    m_selectedRowID = row.id;
    m_rowEditError.reset();
    m_offersUndo = false;
    m_rows.setRowEditStatusLine(StatusLine(
        [row](const QString &language) { return AppText::format(u"editingRow", language, {shownCode(row, language)}); },
        language()));
    Q_EMIT editingChanged();
}

void HoldingsEditor::saveEditingRow()
{
    const int position = m_editingRowID ? indexOfRow(*m_editingRowID) : -1;
    if (position < 0) {
        trace(QStringLiteral("save skipped: no active row"));
        cancelEditing();
        return;
    }
    AssetRow row = m_rows.rows()[position];
    trace(QStringLiteral("save requested id=%1 sector=%2 subSector=%3 code=%4 avg=%5 qty=%6 broker=%7")
              .arg(row.id, row.sector, row.subSector, row.code, EditDebugLog::number(row.averagePrice),
                   EditDebugLog::number(row.quantity), row.broker));

    row.sector = row.sector.trimmed();
    row.subSector = row.subSector.trimmed();
    row.code = row.code.trimmed().toUpper();

    const auto reject = [this](const QString &why, const QString &message) {
        trace(QStringLiteral("save rejected: ") + why);
        m_rowEditError = message;
        Q_EMIT editingChanged();
    };
    if (row.code.isEmpty()) {
        reject(QStringLiteral("empty code"), AppText::value(u"codeRequired", language()));
        return;
    }
    // Written so that a value that is not a number fails every test.
    if (!(row.averagePrice >= 0) || !(row.currentPrice >= 0) || !(row.quantity > 0)) {
        reject(QStringLiteral("invalid numeric values"), AppText::value(u"invalidHoldingNumbers", language()));
        return;
    }
    for (const AssetRow &other : m_rows.rows()) {
        if (other.id == *m_editingRowID)
            continue;
        if (other.market.compare(row.market, Qt::CaseInsensitive) == 0 &&
            other.code.trimmed().compare(row.code, Qt::CaseInsensitive) == 0 &&
            other.broker.compare(row.broker, Qt::CaseInsensitive) == 0) {
            m_rowEditError = AppText::value(u"duplicateHolding", language());
            Q_EMIT editingChanged();
            return;
        }
    }

    const std::optional<AssetRow> before =
        m_editingNewRow ? std::nullopt : std::optional<AssetRow>(m_originalEditingRow.value_or(row));
    m_editingRowID.reset();
    m_originalEditingRow.reset();
    m_editingNewRow = false;
    m_rowEditError.reset();
    if (!before || !(*before == row)) {
        const QString text =
            AppText::format(before ? u"changeHoldingCommand" : u"addHoldingCommand", language(), {row.code});
        // Pushing runs the command once: it writes the normalised row and schedules the save.
        m_undoStack.push(new HoldingRowCommand(
            text, m_rows, [this](const QString &id) { rowAboutToBeWritten(id); }, before, row, position));
    } else {
        m_rows.schedulePortfolioSave();
    }
    m_rows.setRowEditStatusLine(rowStatus(u"savedFetchingPrice", row.code, language()));
    Q_EMIT editingChanged();
    m_rows.refreshPriceOf(row.id);
    const int saved = indexOfRow(row.id);
    const AssetRow shown = saved >= 0 ? m_rows.rows()[saved] : AssetRow();
    trace(QStringLiteral("save completed id=%1 rows[%2].sector=%3 rows[%2].code=%4")
              .arg(row.id, QString::number(position), shown.sector, shown.code));
}

void HoldingsEditor::cancelEditing()
{
    if (m_editingRowID && m_editingNewRow) {
        // A new row that was never saved goes away with its edit.
        m_rows.removeRow(*m_editingRowID);
    } else if (m_editingRowID && m_originalEditingRow && indexOfRow(*m_editingRowID) >= 0) {
        m_rows.updateRow(*m_editingRowID, *m_originalEditingRow);
    }
    if (m_editingNewRow && m_selectedRowID == m_editingRowID)
        m_selectedRowID.reset();
    leaveEditing();
    m_rows.setRowEditStatusLine(StatusLine::of(u"changesDiscarded", language()));
    Q_EMIT editingChanged();
    trace(QStringLiteral("cancelled"));
}

void HoldingsEditor::deleteRow(const QString &id)
{
    const int position = indexOfRow(id);
    if (position < 0)
        return;
    const bool editing = m_editingRowID == id;
    // A row in edit mode comes back as it was before the edit.
    const AssetRow row = editing && m_originalEditingRow ? *m_originalEditingRow : m_rows.rows()[position];
    const bool neverSaved = editing && m_editingNewRow;
    if (m_selectedRowID == id)
        m_selectedRowID.reset();
    if (editing)
        leaveEditing();
    if (neverSaved) {
        m_rows.removeRow(id);
        m_rows.setRowEditStatusLine(StatusLine::of(u"changesDiscarded", language()));
        Q_EMIT editingChanged();
        return;
    }
    const QString text = AppText::format(u"deleteHoldingCommand", language(), {row.code});
    m_undoStack.push(new HoldingRowCommand(
        text, m_rows, [this](const QString &rowID) { rowAboutToBeWritten(rowID); }, row, std::nullopt, position));
    m_offersUndo = true;
    m_rows.setRowEditStatusLine(rowStatus(u"deletedRow", row.code, language()));
    Q_EMIT editingChanged();
}

void HoldingsEditor::selectRow(const std::optional<QString> &id)
{
    if (m_selectedRowID == id)
        return;
    m_selectedRowID = id;
    Q_EMIT editingChanged();
}

void HoldingsEditor::dismissRowEditError()
{
    if (!m_rowEditError)
        return;
    m_rowEditError.reset();
    Q_EMIT editingChanged();
}

void HoldingsEditor::rowsWereReset()
{
    bool changed = false;
    if (m_selectedRowID && indexOfRow(*m_selectedRowID) < 0) {
        m_selectedRowID.reset();
        changed = true;
    }
    if (m_editingRowID && indexOfRow(*m_editingRowID) < 0) {
        leaveEditing();
        changed = true;
    }
    if (changed)
        Q_EMIT editingChanged();
}

void HoldingsEditor::rowAboutToBeWritten(const QString &id)
{
    if (m_editingRowID == id)
        cancelEditing();
}

void HoldingsEditor::leaveEditing()
{
    m_editingRowID.reset();
    m_originalEditingRow.reset();
    m_editingNewRow = false;
    m_rowEditError.reset();
}

int HoldingsEditor::indexOfRow(const QString &id) const
{
    const QList<AssetRow> &rows = m_rows.rows();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].id == id)
            return int(i);
    }
    return -1;
}

} // namespace quillfern

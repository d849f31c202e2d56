// Holdings row editing: one row at a time is bound to the editor; saving validates, normalises and
// commits it, then schedules the portfolio save and fetches the row's price.

#include "app/workspace/EditDebugLog.h"
#include "app/workspace/Workspace.h"

namespace quillfern {

namespace {

const QString editPrefix = QStringLiteral("[Quillfern][Edit] ");

void trace(const QString &message)
{
    EditDebugLog::write(editPrefix + message);
}

} // namespace

AssetRow Workspace::newRow() const
{
    AssetRow row;
    row.id = newRowID();
    row.market = QStringLiteral("US");
    const QStringList sectors = gicsSectorNames();
    if (!sectors.isEmpty()) {
        row.sector = sectors.first();
        const QStringList subs = gicsSubIndustryNames(row.sector);
        if (!subs.isEmpty())
            row.subSector = subs.first();
    }
    const QStringList brokers = brokerageNames();
    row.broker = brokers.isEmpty() ? QStringLiteral("Snowball") : brokers.first();
    return row;
}

QString Workspace::addRow()
{
    const AssetRow row = newRow();
    m_rows.append(row);
    Q_EMIT rowInserted(int(m_rows.size() - 1));
    rowsDidChange();
    beginEditing(row);
    return row.id;
}

void Workspace::beginEditing(const AssetRow &row)
{
    trace(QStringLiteral("begin id=") + row.id + QStringLiteral(" code=") + row.code);
    m_originalEditingRow = row;
    m_editingRowID = row.id;
    m_selectedRowID = row.id;
    m_rowEditError.reset();
    m_rowEditStatus = QStringLiteral("Editing ") + (row.code.isEmpty() ? QStringLiteral("new row") : row.code) +
                      QStringLiteral(" \u00B7 Return to save \u00B7 Esc to cancel");
    Q_EMIT editingChanged();
}

void Workspace::saveEditingRow()
{
    const int position = m_editingRowID ? indexOfRow(*m_editingRowID) : -1;
    if (position < 0) {
        trace(QStringLiteral("save skipped: no active row"));
        cancelEditing();
        return;
    }
    AssetRow row = m_rows[position];
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
        reject(QStringLiteral("empty code"), QStringLiteral("Code is required."));
        return;
    }
    // Written so that a value that is not a number fails every test.
    if (!(row.averagePrice >= 0) || !(row.currentPrice >= 0) || !(row.quantity > 0)) {
        reject(QStringLiteral("invalid numeric values"),
               QStringLiteral("Prices cannot be negative and quantity must be greater than zero."));
        return;
    }
    for (const AssetRow &other : std::as_const(m_rows)) {
        if (other.id == *m_editingRowID)
            continue;
        if (other.market.compare(row.market, Qt::CaseInsensitive) == 0 &&
            other.code.trimmed().compare(row.code, Qt::CaseInsensitive) == 0 &&
            other.broker.compare(row.broker, Qt::CaseInsensitive) == 0) {
            m_rowEditError = QStringLiteral("This market, stock code and broker combination already exists.");
            Q_EMIT editingChanged();
            return;
        }
    }

    m_rows[position] = row;
    Q_EMIT rowChanged(position);
    rowsDidChange();
    m_editingRowID.reset();
    m_originalEditingRow.reset();
    m_rowEditError.reset();
    m_rowEditStatus = QStringLiteral("Saved ") + row.code + QStringLiteral(" \u00B7 fetching price\u2026");
    Q_EMIT editingChanged();
    schedulePortfolioSave();
    refreshPrices(false, QSet<QString>{row.id});
    trace(QStringLiteral("save completed id=%1 rows[%2].sector=%3 rows[%2].code=%4")
              .arg(row.id, QString::number(position), m_rows.value(position).sector, m_rows.value(position).code));
}

void Workspace::cancelEditing()
{
    if (m_editingRowID && m_originalEditingRow) {
        const int position = indexOfRow(*m_editingRowID);
        if (position >= 0) {
            m_rows[position] = *m_originalEditingRow;
            Q_EMIT rowChanged(position);
            rowsDidChange();
        }
    }
    m_editingRowID.reset();
    m_originalEditingRow.reset();
    m_rowEditError.reset();
    m_rowEditStatus = QStringLiteral("Changes discarded");
    Q_EMIT editingChanged();
    trace(QStringLiteral("cancelled"));
}

void Workspace::deleteRow(const QString &id)
{
    for (qsizetype i = m_rows.size() - 1; i >= 0; --i) {
        if (m_rows[i].id == id) {
            Q_EMIT rowAboutToBeRemoved(int(i));
            m_rows.removeAt(i);
            Q_EMIT rowRemoved(int(i));
        }
    }
    rowsDidChange();
    if (m_selectedRowID == id) {
        m_selectedRowID.reset();
        Q_EMIT editingChanged();
    }
    if (m_editingRowID == id)
        cancelEditing();
    schedulePortfolioSave();
}

void Workspace::selectRow(const std::optional<QString> &id)
{
    if (m_selectedRowID == id)
        return;
    m_selectedRowID = id;
    Q_EMIT editingChanged();
}

void Workspace::dismissRowEditError()
{
    if (!m_rowEditError)
        return;
    m_rowEditError.reset();
    Q_EMIT editingChanged();
}

void Workspace::updateRow(const QString &id, const AssetRow &row)
{
    const int position = indexOfRow(id);
    if (position < 0 || m_rows[position] == row)
        return;
    m_rows[position] = row;
    Q_EMIT rowChanged(position);
    rowsDidChange();
}

} // namespace quillfern

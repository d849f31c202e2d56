#include "app/balances/BalanceTableModel.h"

#include "app/balances/BalanceEditor.h"
#include "app/table/CellRoles.h"
#include "app/table/TableStyle.h"
#include "core/CurrencyCatalog.h"
#include "text/Formats.h"
#include "text/Localization.h"

namespace quillfern {

using table::CellKind;
using table::RowLook;

namespace {

bool sameIDs(const QList<CashRow> &a, const QList<CashRow> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const CashRow &x, const CashRow &y) { return x.id == y.id; });
}

CellKind viewKind(int column)
{
    switch (column) {
    case BalanceTableModel::BrokerColumn:
    case BalanceTableModel::CurrencyColumn:
        return CellKind::ReadOnly;
    case BalanceTableModel::OriginalCashColumn:
        return CellKind::ReadOnlyNumber;
    case BalanceTableModel::ActionsColumn:
        return CellKind::RowActions;
    default:
        return CellKind::Output;
    }
}

CellKind editKind(int column)
{
    switch (column) {
    case BalanceTableModel::BrokerColumn:
    case BalanceTableModel::CurrencyColumn:
        return CellKind::Picker;
    case BalanceTableModel::OriginalCashColumn:
        return CellKind::EditNumber;
    case BalanceTableModel::ActionsColumn:
        return CellKind::EditRowActions;
    default:
        return CellKind::Output;
    }
}

} // namespace

double &BalanceTableModel::columnWidth(BalanceColumnWidths &widths, int column)
{
    double *const fields[ColumnCount] = {&widths.broker,       &widths.currency,      &widths.originalCash,
                                         &widths.cashValue,    &widths.holdingsValue, &widths.investedWeight,
                                         &widths.accountValue, &widths.actions};
    return *fields[std::clamp(column, 0, ColumnCount - 1)];
}

double BalanceTableModel::columnWidth(const BalanceColumnWidths &widths, int column)
{
    return columnWidth(const_cast<BalanceColumnWidths &>(widths), column);
}

QString BalanceTableModel::columnTitle(int column, const QString &languageCode, const QString &reportingCode)
{
    static const char16_t *const keys[ColumnCount] = {
        u"brokerage",     u"currency",       u"cashBalanceNative", u"cashValue",
        u"holdingsValue", u"investedWeight", u"accountValue",      u""};
    if (column < 0 || column >= ColumnCount || column == ActionsColumn)
        return QString();
    const QString title = AppText::value(QStringView(keys[column]), languageCode);
    const bool money = column == CashValueColumn || column == HoldingsValueColumn || column == AccountValueColumn;
    return money ? title + QStringLiteral(" (") + reportingCode + QLatin1Char(')') : title;
}

BalanceTableModel::BalanceTableModel(BalanceEditor &editor, QObject *parent)
    : QAbstractTableModel(parent), m_editor(editor)
{
    m_rows = editor.cashRows();
    m_inputs = editor.inputs();
    m_figures = balanceFigures(m_rows, m_inputs);
}

void BalanceTableModel::refresh()
{
    QList<CashRow> rows = m_editor.cashRows();
    const bool reshaped = !sameIDs(rows, m_rows);
    if (reshaped)
        beginResetModel();
    m_rows = std::move(rows);
    m_inputs = m_editor.inputs();
    m_figures = balanceFigures(m_rows, m_inputs);
    if (reshaped) {
        endResetModel();
        return;
    }
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void BalanceTableModel::setPalette(const QPalette &palette)
{
    m_palette = palette;
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::ForegroundRole});
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

int BalanceTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int BalanceTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool BalanceTableModel::isEditing(const CashRow &row) const
{
    return m_editor.editingCashRowID() == row.id;
}

QString BalanceTableModel::displayText(const CashRow &row, int column) const
{
    const CurrencyOption &reporting = m_inputs.reportingCurrency;
    const BalanceRowFigures figures = m_figures.row(m_rows, row);
    switch (column) {
    case BrokerColumn:
        return row.broker;
    case CurrencyColumn:
        return row.currency;
    case OriginalCashColumn:
        return CurrencyCatalog::symbol(row.currency) + decimal(row.originalCash, 2);
    case CashValueColumn:
        return format(reporting, figures.cashValueUsd, false);
    case HoldingsValueColumn:
        return figures.isFirst ? format(reporting, figures.holdingsUsd, false) : QString();
    case InvestedWeightColumn:
        return figures.isFirst ? ratioPercent(figures.holdingsUsd, figures.accountUsd) : QString();
    case AccountValueColumn:
        return figures.isFirst ? format(reporting, figures.accountUsd, false) : QString();
    default:
        return QString();
    }
}

QVariant BalanceTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CashRow &row = m_rows[index.row()];
    const int column = index.column();
    const bool editing = isEditing(row);

    switch (role) {
    case Qt::DisplayRole:
        return displayText(row, column);
    case table::CellKindRole:
        return int(editing ? editKind(column) : viewKind(column));
    case table::RowLookRole:
        return int(editing ? RowLook::Editing : RowLook::Plain);
    case Qt::TextAlignmentRole:
        return int((column <= CurrencyColumn || column == ActionsColumn ? Qt::AlignLeft : Qt::AlignRight) |
                   Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (column == CashValueColumn)
            return table::green(m_palette);
        if (column == AccountValueColumn)
            return table::blue(m_palette);
        return {};
    case table::FieldNameRole:
        return QStringLiteral("cash.") + row.id + QStringLiteral(".originalCash");
    case table::PrecisionRole:
        return 2;
    case table::PrefixRole:
        return column == OriginalCashColumn ? CurrencyCatalog::symbol(row.currency) : QString();
    case table::OptionsRole:
        if (column == BrokerColumn)
            return quillfern::brokerOptions(m_inputs.brokerageOptions);
        if (column == CurrencyColumn) {
            QStringList codes;
            for (const CurrencyOption &option : m_inputs.supportedCurrencies)
                codes.append(option.code);
            return codes;
        }
        return {};
    case table::SortRole: {
        const BalanceRowFigures figures = m_figures.row(m_rows, row);
        switch (column) {
        case OriginalCashColumn:
            return row.originalCash;
        case CashValueColumn:
            return figures.cashValueUsd;
        case HoldingsValueColumn:
            return figures.holdingsUsd;
        case InvestedWeightColumn:
            return figures.accountUsd > 0 ? figures.holdingsUsd / figures.accountUsd : 0.0;
        case AccountValueColumn:
            return figures.accountUsd;
        default:
            return displayText(row, column);
        }
    }
    case table::ValueRole:
    case Qt::EditRole:
        if (column == BrokerColumn)
            return row.broker;
        if (column == CurrencyColumn)
            return row.currency;
        if (column == OriginalCashColumn)
            return row.originalCash;
        return {};
    default:
        return {};
    }
}

QVariant BalanceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    const QString title = columnTitle(section, m_inputs.language.code, m_inputs.reportingCurrency.code);
    switch (role) {
    case Qt::DisplayRole:
        return title;
    case Qt::TextAlignmentRole:
        return int((section <= CurrencyColumn || section == ActionsColumn ? Qt::AlignLeft : Qt::AlignRight) |
                   Qt::AlignVCenter);
    case table::HeaderTintRole: {
        const bool blue = section >= HoldingsValueColumn && section <= AccountValueColumn;
        const bool strong = section == BrokerColumn || section == CashValueColumn || section == ActionsColumn;
        return blue ? table::withOpacity(table::blue(m_palette), 0.25)
                    : table::withOpacity(table::green(m_palette), strong ? 0.25 : 0.18);
    }
    case Qt::ToolTipRole:
        return title.isEmpty() ? AppText::value(u"resizeThisColumnHint", m_inputs.language.code)
                               : AppText::format(u"resizeColumnHint", m_inputs.language.code, {title});
    default:
        return {};
    }
}

Qt::ItemFlags BalanceTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled;
    const int column = index.column();
    if (column <= OriginalCashColumn && isEditing(m_rows[index.row()]))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool BalanceTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const QString id = m_rows[index.row()].id;
    if (m_editor.editingCashRowID() != id)
        return false;
    switch (index.column()) {
    case BrokerColumn:
        m_editor.uniqueBrokerBinding(id).set(value.toString());
        break;
    case CurrencyColumn:
        m_editor.uniqueCurrencyBinding(id).set(value.toString());
        break;
    case OriginalCashColumn:
        m_editor.setOriginalCash(id, value.toDouble());
        break;
    default:
        return false;
    }
    // Read back at once: a refused choice left the row as it was, and the picker springs back to it.
    refresh();
    return true;
}

int BalanceTableModel::rowOf(const QString &id) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].id == id)
            return row;
    }
    return -1;
}

QString BalanceTableModel::idAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].id : QString();
}

} // namespace quillfern

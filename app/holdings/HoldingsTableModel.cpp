#include "app/holdings/HoldingsTableModel.h"

#include "app/holdings/HoldingsEditor.h"
#include "app/table/CellRoles.h"
#include "app/table/TableStyle.h"
#include "core/CurrencyCatalog.h"
#include "core/HoldingRules.h"
#include "text/Dates.h"
#include "text/Formats.h"
#include "text/GicsNames.h"
#include "text/Localization.h"

namespace quillfern {

using table::CellKind;
using table::RowLook;

namespace {

bool isEditableColumn(int column)
{
    return column <= QuantityColumn || column == ActionsColumn;
}

CellKind viewKind(int column)
{
    switch (column) {
    case BrokerColumn:
    case MarketColumn:
    case SectorColumn:
    case SubSectorColumn:
    case CodeColumn:
        return CellKind::ReadOnly;
    case AveragePriceColumn:
    case QuantityColumn:
    case CurrentPriceColumn:
        return CellKind::ReadOnlyNumber;
    case ActionsColumn:
        return CellKind::RowActions;
    default:
        return CellKind::Output;
    }
}

CellKind editKind(int column)
{
    switch (column) {
    case BrokerColumn:
    case MarketColumn:
    case SectorColumn:
    case SubSectorColumn:
        return CellKind::Picker;
    case CodeColumn:
        return CellKind::EditText;
    case AveragePriceColumn:
    case QuantityColumn:
        return CellKind::EditNumber;
    case ActionsColumn:
        return CellKind::EditRowActions;
    default:
        return viewKind(column);
    }
}

// The row's own value behind a column: what the editors read and the text columns show.
QVariant rawValue(const AssetRow &row, int column)
{
    switch (column) {
    case BrokerColumn:
        return row.broker;
    case MarketColumn:
        return row.market;
    case SectorColumn:
        return row.sector;
    case SubSectorColumn:
        return row.subSector;
    case CodeColumn:
        return row.code;
    case AveragePriceColumn:
        return row.averagePrice;
    case QuantityColumn:
        return row.quantity;
    case CurrentPriceColumn:
        return row.currentPrice;
    default:
        return {};
    }
}

int precisionOf(int column)
{
    return column == AveragePriceColumn ? 4 : 2;
}

} // namespace

HoldingsTableModel::HoldingsTableModel(HoldingsEditor &editor, QObject *parent)
    : QAbstractTableModel(parent), m_holdings(editor.rows()), m_editor(editor),
      m_count(int(editor.rows().rows().size()))
{
    HoldingRows &holdings = m_holdings;
    connect(&holdings, &HoldingRows::rowsReset, this, [this] {
        beginResetModel();
        m_count = int(m_holdings.rows().size());
        endResetModel();
    });
    // Announced before the row is in the list, as views expect: until then data() shows the old rows.
    connect(&holdings, &HoldingRows::rowAboutToBeInserted, this,
            [this](int index) { beginInsertRows({}, index, index); });
    connect(&holdings, &HoldingRows::rowInserted, this, [this] {
        m_count = int(m_holdings.rows().size());
        endInsertRows();
    });
    connect(&holdings, &HoldingRows::rowAboutToBeRemoved, this,
            [this](int index) { beginRemoveRows({}, index, index); });
    connect(&holdings, &HoldingRows::rowRemoved, this, [this] {
        m_count = int(m_holdings.rows().size());
        endRemoveRows();
    });
    connect(&holdings, &HoldingRows::rowChanged, this,
            [this](int index) { refreshRows(index, index, 0, AssetColumnCount - 1); });
    // Every weight depends on every row, so the figures of all rows are refreshed; the view repaints
    // only the rows it shows.
    connect(&holdings, &HoldingRows::summaryChanged, this,
            [this] { refreshRows(0, m_count - 1, HoldPercentColumn, CostUSDColumn); });
    connect(&editor, &HoldingsEditor::editingChanged, this, &HoldingsTableModel::onEditingChanged);
    const auto everything = [this] {
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, AssetColumnCount - 1);
        refreshRows(0, m_count - 1, 0, AssetColumnCount - 1);
    };
    connect(&holdings, &HoldingRows::preferencesChanged, this, everything);
    connect(&holdings, &HoldingRows::referenceDataChanged, this, everything);
}

void HoldingsTableModel::setPalette(const QPalette &palette)
{
    m_palette = palette;
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, AssetColumnCount - 1);
}

int HoldingsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int HoldingsTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : AssetColumnCount;
}

QString HoldingsTableModel::languageCode() const
{
    return m_holdings.displayLanguageCode();
}

int HoldingsTableModel::rowOf(const QString &id) const
{
    const auto &rows = m_holdings.rows();
    for (int i = 0; i < m_count && i < rows.size(); ++i) {
        if (rows[i].id == id)
            return i;
    }
    return -1;
}

QString HoldingsTableModel::idAt(int row) const
{
    return row >= 0 && row < m_holdings.rows().size() ? m_holdings.rows()[row].id : QString();
}

void HoldingsTableModel::refreshRows(int first, int last, int firstColumn, int lastColumn)
{
    if (first > last || first < 0)
        return;
    Q_EMIT dataChanged(index(first, firstColumn), index(last, lastColumn));
}

void HoldingsTableModel::onEditingChanged()
{
    // Only the rows whose look changed are repainted.
    for (const auto &id : {m_shownSelected, m_shownEditing, m_editor.selectedRowID(), m_editor.editingRowID()}) {
        if (id) {
            const int row = rowOf(*id);
            refreshRows(row, row, 0, AssetColumnCount - 1);
        }
    }
    m_shownSelected = m_editor.selectedRowID();
    m_shownEditing = m_editor.editingRowID();
}

QVariant HoldingsTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_holdings.rows().size())
        return {};
    const AssetRow &row = m_holdings.rows()[index.row()];
    const int column = index.column();
    const bool editing = m_editor.editingRowID() == row.id;

    switch (role) {
    case table::CellKindRole:
        return int(editing ? editKind(column) : viewKind(column));
    case table::RowLookRole:
        return int(editing ? RowLook::Editing
                           : (m_editor.selectedRowID() == row.id ? RowLook::Selected : RowLook::Plain));
    case Qt::TextAlignmentRole:
        return int(columnAlignment(AssetColumn(column)) | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (column == CurrentPriceColumn) {
            if (const PriceFacts *facts = m_holdings.priceFacts(row)) {
                const QString said = priceFactsText(*facts, QDateTime::currentDateTimeUtc(), languageCode(),
                                                    m_holdings.displayLocale(), systemTimeZoneID());
                if (!said.isEmpty())
                    return said;
            }
        }
        return AppText::value(editing ? u"editingRowHint" : u"editRowHint", languageCode());
    case table::FieldNameRole:
        return column == CodeColumn
                   ? QStringLiteral("code")
                   : (column == AveragePriceColumn ? QStringLiteral("averagePrice") : QStringLiteral("quantity"));
    case table::PrecisionRole:
        return precisionOf(column);
    case table::PrefixRole:
        return column == QuantityColumn ? QString() : CurrencyCatalog::symbol(CurrencyCatalog::currency(row.market));
    case table::OptionsRole:
        switch (column) {
        case BrokerColumn:
            return m_holdings.brokerageNames();
        case MarketColumn:
            return marketOptions();
        case SectorColumn:
            return includingCurrent(row.sector, sortedByGicsDisplayName(m_holdings.gicsSectorNames(), languageCode()));
        case SubSectorColumn:
            return includingCurrent(
                row.subSector, sortedByGicsDisplayName(m_holdings.gicsSubIndustryNames(row.sector), languageCode()));
        default:
            return {};
        }
    case table::OptionLabelsRole:
        if (column == SectorColumn || column == SubSectorColumn)
            return gicsDisplayNames(data(index, table::OptionsRole).toStringList(), languageCode());
        return {};
    default:
        break;
    }

    if (role == table::ValueRole || role == Qt::EditRole)
        return rawValue(row, column);
    if (role == table::SortRole) {
        const AssetValuation *figures = m_holdings.position(row.id);
        switch (column) {
        case HoldPercentColumn:
            return figures ? figures->holdPercent : 0.0;
        case ValueUSDColumn:
            return figures ? figures->marketValueUsd : 0.0;
        case DayChangeUSDColumn:
            return m_holdings.dayChangeUsd(row).value_or(0.0);
        case NetUSDColumn:
            return figures ? figures->netUsd : 0.0;
        case CostUSDColumn:
            return figures ? figures->boughtCostUsd : 0.0;
        case SectorColumn:
        case SubSectorColumn:
            return gicsDisplayName(rawValue(row, column).toString(), languageCode());
        default:
            return rawValue(row, column);
        }
    }

    const AssetValuation *position = m_holdings.position(row.id);
    if (role == Qt::ForegroundRole) {
        if (column == ValueUSDColumn)
            return table::green(m_palette);
        if (column == NetUSDColumn)
            return position && position->netUsd < 0 ? table::red(m_palette) : table::green(m_palette);
        if (column == DayChangeUSDColumn)
            return m_holdings.dayChangeUsd(row).value_or(0) < 0 ? table::red(m_palette) : table::green(m_palette);
        if (column == CurrentPriceColumn) {
            const PriceFacts *facts = m_holdings.priceFacts(row);
            if (facts && isStale(*facts, QDateTime::currentDateTimeUtc()))
                return table::secondaryText(m_palette);
        }
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};

    const QString symbol = CurrencyCatalog::symbol(CurrencyCatalog::currency(row.market));
    switch (column) {
    case BrokerColumn:
    case MarketColumn:
    case CodeColumn:
        return rawValue(row, column);
    case SectorColumn:
    case SubSectorColumn:
        return gicsDisplayName(rawValue(row, column).toString(), languageCode());
    case AveragePriceColumn:
        return symbol + decimal(row.averagePrice, 4);
    case QuantityColumn:
        return decimal(row.quantity, 2);
    case CurrentPriceColumn:
        return symbol + decimal(row.currentPrice, 2);
    case HoldPercentColumn:
        return position ? percent(position->holdPercent) : QStringLiteral("0.00%");
    case ValueUSDColumn:
        return format(m_holdings.reportingCurrency(), position ? position->marketValueUsd : 0, false);
    case DayChangeUSDColumn: {
        const auto change = m_holdings.dayChangeUsd(row);
        return change ? format(m_holdings.reportingCurrency(), *change, true) : QString();
    }
    case NetUSDColumn:
        return format(m_holdings.reportingCurrency(), position ? position->netUsd : 0, true);
    case CostUSDColumn:
        return format(m_holdings.reportingCurrency(), position ? position->boughtCostUsd : 0, false);
    default:
        return QString();
    }
}

QVariant HoldingsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= AssetColumnCount)
        return {};
    const auto column = AssetColumn(section);
    switch (role) {
    case Qt::DisplayRole:
        return columnTitle(column, languageCode(), m_holdings.reportingCurrency().code);
    case Qt::TextAlignmentRole:
        return int(columnAlignment(column) | Qt::AlignVCenter);
    case table::HeaderTintRole:
        return columnTint(column, m_palette);
    case Qt::ToolTipRole: {
        const QString title = columnTitle(column, languageCode(), m_holdings.reportingCurrency().code);
        return title.isEmpty() ? AppText::value(u"resizeThisColumnHint", languageCode())
                               : AppText::format(u"resizeColumnHint", languageCode(), {title});
    }
    default:
        return {};
    }
}

Qt::ItemFlags HoldingsTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled;
    if (isEditableColumn(index.column()) && m_editor.editingRowID() == idAt(index.row()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool HoldingsTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= m_holdings.rows().size())
        return false;
    AssetRow row = m_holdings.rows()[index.row()];
    if (m_editor.editingRowID() != row.id)
        return false;
    switch (index.column()) {
    case BrokerColumn:
        row.broker = value.toString();
        break;
    case MarketColumn:
        row.market = value.toString();
        break;
    case SectorColumn: {
        const QString sector = value.toString();
        if (sector != row.sector)
            row.subSector = keptSubIndustry(m_holdings.gicsSubIndustryNames(sector), row.subSector);
        row.sector = sector;
        break;
    }
    case SubSectorColumn:
        row.subSector = value.toString();
        break;
    case CodeColumn:
        row.code = value.toString();
        break;
    case AveragePriceColumn:
        row.averagePrice = value.toDouble();
        break;
    case QuantityColumn:
        row.quantity = value.toDouble();
        break;
    default:
        return false;
    }
    m_holdings.updateRow(row.id, row);
    return true;
}

} // namespace quillfern

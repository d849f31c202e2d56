#include "app/table/RowsProxy.h"

#include "app/table/CellRoles.h"

#include <QSettings>

namespace quillfern::table {

namespace {

// Case and width folded, so "aapl" finds "AAPL" and "ＡＡＰＬ", and "ｿﾆｰ" finds "ソニー".
QString folded(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

bool isNumber(const QVariant &value)
{
    const auto type = value.typeId();
    return type == QMetaType::Double || type == QMetaType::Int || type == QMetaType::LongLong ||
           type == QMetaType::Float;
}

} // namespace

RowsProxy::RowsProxy(QList<int> filterColumns, QObject *parent)
    : QSortFilterProxyModel(parent), m_filterColumns(std::move(filterColumns))
{
    setSortRole(SortRole);
    setDynamicSortFilter(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(true);
}

void RowsProxy::setFilterText(const QString &text)
{
    if (text == m_filterText)
        return;
    m_filterText = text;
    m_needle = folded(text.trimmed());
    invalidateFilter();
}

int RowsProxy::sourceRow(int viewRow) const
{
    return viewRow < 0 ? -1 : mapToSource(index(viewRow, 0)).row();
}

int RowsProxy::viewRow(int sourceRow) const
{
    return sourceRow < 0 || !sourceModel() ? -1 : mapFromSource(sourceModel()->index(sourceRow, 0)).row();
}

void RowsProxy::restoreOrder(QSettings &settings, const QString &key, const QList<int> &addedColumns)
{
    int column = settings.value(key + QStringLiteral("/sortColumn"), -1).toInt();
    if (column >= 0 && !settings.contains(key + QStringLiteral("/sortColumnCount"))) {
        for (const int added : addedColumns)
            column += column >= added ? 1 : 0;
    }
    const auto order = settings.value(key + QStringLiteral("/sortOrder")).toString() == QStringLiteral("descending")
                           ? Qt::DescendingOrder
                           : Qt::AscendingOrder;
    sort(column, order);
}

void RowsProxy::storeOrder(QSettings &settings, const QString &key) const
{
    settings.setValue(key + QStringLiteral("/sortColumn"), sortColumn());
    settings.setValue(key + QStringLiteral("/sortColumnCount"), sourceModel() ? sourceModel()->columnCount() : 0);
    settings.setValue(key + QStringLiteral("/sortOrder"),
                      sortOrder() == Qt::DescendingOrder ? QStringLiteral("descending") : QStringLiteral("ascending"));
}

bool RowsProxy::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_needle.isEmpty() || (m_isPinned && m_isPinned(sourceRow)))
        return true;
    for (int column : m_filterColumns) {
        const QString text = sourceModel()->index(sourceRow, column, sourceParent).data(Qt::DisplayRole).toString();
        if (folded(text).contains(m_needle))
            return true;
    }
    return false;
}

bool RowsProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QVariant a = left.data(SortRole);
    const QVariant b = right.data(SortRole);
    if (isNumber(a) && isNumber(b))
        return a.toDouble() < b.toDouble();
    return m_collator.compare(a.toString(), b.toString()) < 0;
}

} // namespace quillfern::table

#include "app/performance/ContributionModel.h"

#include "app/charts/Palette.h"
#include "text/Formats.h"
#include "text/Localization.h"

namespace quillfern {

void ContributionModel::setContributions(QList<HoldingContribution> rows, const CurrencyOption &currency,
                                         const QString &languageCode, const QString &monetaryLocale,
                                         const QPalette &palette)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_currency = currency;
    m_language = languageCode;
    m_locale = monetaryLocale;
    m_palette = palette;
    endResetModel();
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

int ContributionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ContributionModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ContributionModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const HoldingContribution &row = m_rows[index.row()];
    const bool gain = index.column() == GainColumn;
    switch (role) {
    case Qt::DisplayRole:
        return gain ? format(m_currency, row.gain, true, m_locale)
                    : row.code + QStringLiteral(" \u00B7 ") + row.market;
    case Qt::UserRole:
        return gain ? QVariant(row.gain) : QVariant(row.market + QLatin1Char(':') + row.code);
    case Qt::TextAlignmentRole:
        return int((gain ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (gain)
            return row.gain < 0 ? Palette::red(m_palette) : Palette::green(m_palette);
        return {};
    default:
        return {};
    }
}

QVariant ContributionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return section == GainColumn ? AppText::format(u"contributionGain", m_language, {m_currency.code})
                                     : AppText::value(u"contributionHolding", m_language);
    if (role == Qt::TextAlignmentRole)
        return int((section == GainColumn ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

} // namespace quillfern

#include "app/transactions/ClosedPositionsModel.h"

#include "app/transactions/LedgerFormats.h"
#include "core/SystemLocale.h"
#include "text/Formats.h"
#include "text/Localization.h"

namespace quillfern {

ClosedPositionsModel::ClosedPositionsModel(QObject *parent)
    : QAbstractTableModel(parent), m_locale(systemLocaleName(LocaleCategory::Monetary))
{
}

void ClosedPositionsModel::setPositions(QList<ClosedPositionSummary> positions)
{
    if (positions == m_positions)
        return;
    beginResetModel();
    m_positions = std::move(positions);
    endResetModel();
}

void ClosedPositionsModel::setPresentation(const QString &languageCode, const CurrencyOption &reporting,
                                           const QString &locale)
{
    if (languageCode == m_languageCode && reporting == m_reporting && locale == m_locale)
        return;
    beginResetModel();
    m_languageCode = languageCode;
    m_reporting = reporting;
    m_locale = locale;
    endResetModel();
}

int ClosedPositionsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_positions.size());
}

int ClosedPositionsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ClosedPositionsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ClosedPositionSummary &position = m_positions.at(index.row());
    const bool oneCurrency = !position.currency.isEmpty();
    if (role == Qt::TextAlignmentRole)
        return index.column() >= RealizedGain ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                              : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    if (role == RawValueRole) {
        switch (index.column()) {
        case RealizedGain:
            return oneCurrency ? QVariant(position.realizedGain) : QVariant();
        case RealizedGainReporting:
            return position.realizedGainUsd;
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != RawValueRole)
        return {};
    switch (index.column()) {
    case Account:
        return position.broker;
    case Market:
        return position.market;
    case Ticker:
        return position.code;
    case RealizedGain:
        return oneCurrency ? currencyAmount(position.realizedGain, position.currency, m_locale) : QString();
    case RealizedGainReporting:
        return format(m_reporting, position.realizedGainUsd, true, m_locale);
    }
    return {};
}

QVariant ClosedPositionsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Account:
        return AppText::value(u"account", m_languageCode);
    case Market:
        return AppText::value(u"market", m_languageCode);
    case Ticker:
        return AppText::value(u"ticker", m_languageCode);
    case RealizedGain:
        return AppText::value(u"realizedGain", m_languageCode);
    case RealizedGainReporting:
        return AppText::format(u"realizedGainIn", m_languageCode, {m_reporting.code});
    }
    return {};
}

} // namespace quillfern

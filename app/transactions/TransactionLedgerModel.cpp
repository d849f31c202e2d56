#include "app/transactions/TransactionLedgerModel.h"

#include "app/transactions/LedgerFormats.h"
#include "app/transactions/TransactionEditor.h"
#include "core/SystemLocale.h"
#include "text/Formats.h"
#include "text/Localization.h"

namespace quillfern {

TransactionLedgerModel::ColumnWidth TransactionLedgerModel::columnWidth(int column)
{
    static constexpr ColumnWidth widths[ColumnCount] = {{120, 160}, {70, 85},  {90, 110},  {70, 85},  {75, 90},
                                                        {100, 120}, {90, 110}, {140, 170}, {180, 280}};
    return column >= 0 && column < ColumnCount ? widths[column] : ColumnWidth{0, 0};
}

QString TransactionLedgerModel::titleKey(int column)
{
    static const char *const keys[ColumnCount] = {"account",         "market",    "ticker",
                                                  "transactionType", "quantity",  "tradePrice",
                                                  "commission",      "tradeTime", "tradeReason"};
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(keys[column]) : QString();
}

TransactionLedgerModel::TransactionLedgerModel(QObject *parent)
    : QAbstractTableModel(parent), m_locale(systemLocaleName(LocaleCategory::Numeric)), m_timeZone(systemTimeZoneID())
{
}

void TransactionLedgerModel::setTransactions(QList<TransactionRecord> transactions)
{
    beginResetModel();
    m_transactions = std::move(transactions);
    endResetModel();
}

void TransactionLedgerModel::setLanguage(const QString &code, const QString &dateLocale)
{
    if (code == m_languageCode && dateLocale == m_dateLocale)
        return;
    const bool titlesChange = code != m_languageCode;
    m_languageCode = code;
    m_dateLocale = dateLocale;
    if (titlesChange)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_transactions.isEmpty())
        Q_EMIT dataChanged(index(0, Type), index(rowCount() - 1, TradeTime), {Qt::DisplayRole, Qt::ToolTipRole});
}

void TransactionLedgerModel::setLocale(const QString &locale, const QString &timeZone)
{
    beginResetModel();
    m_locale = locale;
    m_timeZone = timeZone;
    endResetModel();
}

int TransactionLedgerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_transactions.size());
}

int TransactionLedgerModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TransactionLedgerModel::text(const TransactionRecord &record, int column) const
{
    switch (column) {
    case Account:
        return record.broker;
    case Market:
        return record.market;
    case Ticker:
        return record.code;
    case Type:
        return AppText::value(TransactionEditor::transactionTypeKey(record.transactionType), m_languageCode);
    case Quantity:
        return decimal(record.quantity, 4, m_locale);
    case TradePrice:
        return currencyAmount(record.price, record.currency, m_locale);
    case Commission:
        return currencyAmount(record.commission, record.currency, m_locale);
    case TradeTime:
        return displayDate(record.tradedAt, m_dateLocale, m_timeZone);
    case TradeReason:
        return record.reason;
    }
    return {};
}

QVariant TransactionLedgerModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TransactionRecord &record = m_transactions.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return text(record, index.column());
    case Qt::TextAlignmentRole:
        return index.column() >= Quantity && index.column() <= Commission
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    case ToneRole:
        if (index.column() == Type)
            return int(record.transactionType == QLatin1String("BUY") ? LedgerTone::Buy : LedgerTone::Sell);
        return int(LedgerTone::Primary);
    case RawValueRole:
        switch (index.column()) {
        case Quantity:
            return record.quantity;
        case TradePrice:
            return record.price;
        case Commission:
            return record.commission;
        case Type:
            return record.transactionType;
        case TradeTime:
            return record.tradedAt;
        default:
            return text(record, index.column());
        }
    }
    return {};
}

QVariant TransactionLedgerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return AppText::value(titleKey(section), m_languageCode);
    return {};
}

} // namespace quillfern

#include "app/transactions/TransactionLedgerModel.h"

#include "app/transactions/LedgerFormats.h"
#include "app/workspace/TransactionRules.h"
#include "core/SystemLocale.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QDateTime>

namespace quillfern {

namespace {

bool isKnown(const TransactionRecord &record)
{
    return transactionTypes().contains(record.transactionType);
}

// Whether the row's type takes the column's figure. A type added later shows what it carries.
bool shows(const TransactionRecord &record, int column)
{
    const TransactionForm form = transactionForm(record.transactionType);
    const bool known = isKnown(record);
    switch (column) {
    case TransactionLedgerModel::Quantity:
        return known ? form.quantity : record.quantity != 0;
    case TransactionLedgerModel::TradePrice:
        return known ? form.price : record.price != 0;
    case TransactionLedgerModel::Commission:
        return known ? form.commission : record.commission != 0;
    case TransactionLedgerModel::RealizedGain:
        return record.realizedGain.has_value();
    default:
        return true;
    }
}

// What the amount column holds: a trade's worth, a cash row's amount, a split's ratio.
std::optional<double> amountOf(const TransactionRecord &record)
{
    const TransactionForm form = transactionForm(record.transactionType);
    if (form.splitRatio)
        return record.splitRatio;
    if (form.amount || record.amount)
        return record.amount;
    if (form.quantity && form.price)
        return record.quantity * record.price;
    return std::nullopt;
}

} // namespace

TransactionLedgerModel::ColumnWidth TransactionLedgerModel::columnWidth(int column)
{
    static constexpr ColumnWidth widths[ColumnCount] = {{120, 150}, {60, 75},   {80, 100},  {80, 110},
                                                        {75, 90},   {100, 115}, {100, 125}, {80, 100},
                                                        {100, 120}, {140, 170}, {160, 240}};
    return column >= 0 && column < ColumnCount ? widths[column] : ColumnWidth{0, 0};
}

QString TransactionLedgerModel::titleKey(int column)
{
    static const char *const keys[ColumnCount] = {"account",      "market",     "ticker",     "transactionType",
                                                  "quantity",     "tradePrice", "amount",     "commission",
                                                  "realizedGain", "tradeTime",  "tradeReason"};
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(keys[column]) : QString();
}

LedgerTone TransactionLedgerModel::typeTone(const QString &type)
{
    static const QHash<QString, LedgerTone> tones{{QStringLiteral("BUY"), LedgerTone::Buy},
                                                  {QStringLiteral("SELL"), LedgerTone::Sell},
                                                  {QStringLiteral("DIVIDEND"), LedgerTone::Income},
                                                  {QStringLiteral("INTEREST"), LedgerTone::Income},
                                                  {QStringLiteral("FEE"), LedgerTone::Cost},
                                                  {QStringLiteral("TAX"), LedgerTone::Cost},
                                                  {QStringLiteral("DEPOSIT"), LedgerTone::Primary},
                                                  {QStringLiteral("WITHDRAWAL"), LedgerTone::Primary},
                                                  {QStringLiteral("SPLIT"), LedgerTone::Primary},
                                                  {QStringLiteral("TRANSFER_IN"), LedgerTone::Primary},
                                                  {QStringLiteral("TRANSFER_OUT"), LedgerTone::Primary}};
    return tones.value(type, LedgerTone::Neutral);
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
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {Qt::DisplayRole, Qt::ToolTipRole});
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
    if (!shows(record, column))
        return {};
    switch (column) {
    case Account:
        return record.broker;
    case Market:
        return record.market;
    case Ticker:
        return record.code;
    case Type: {
        // A word only a newer service knows is shown as it came.
        const QString key = transactionTypeKey(record.transactionType);
        return key.isEmpty() ? record.transactionType : AppText::value(key, m_languageCode);
    }
    case Quantity:
        return decimal(record.quantity, 4, m_locale);
    case TradePrice:
        return currencyAmount(record.price, record.currency, m_locale);
    case Amount: {
        const auto amount = amountOf(record);
        if (!amount)
            return {};
        if (transactionForm(record.transactionType).splitRatio)
            return decimal(*amount, 4, m_locale) + QStringLiteral(" : 1");
        return currencyAmount(*amount, record.currency, m_locale);
    }
    case Commission:
        return currencyAmount(record.commission, record.currency, m_locale);
    case RealizedGain:
        return currencyAmount(*record.realizedGain, record.currency, m_locale);
    case TradeTime:
        return displayDate(record.tradedAt, m_dateLocale, m_timeZone);
    case TradeReason:
        return record.reason;
    }
    return {};
}

QVariant TransactionLedgerModel::rawValue(const TransactionRecord &record, int column) const
{
    if (!shows(record, column))
        return {};
    switch (column) {
    case Quantity:
        return record.quantity;
    case TradePrice:
        return record.price;
    case Amount: {
        const auto amount = amountOf(record);
        return amount ? QVariant(*amount) : QVariant();
    }
    case Commission:
        return record.commission;
    case RealizedGain:
        return *record.realizedGain;
    case Type:
        return record.transactionType;
    case TradeTime: {
        const QDateTime moment = QDateTime::fromString(record.tradedAt, Qt::ISODate);
        return moment.isValid() && moment.timeSpec() != Qt::LocalTime ? QVariant(moment.toUTC()) : QVariant();
    }
    default:
        return text(record, column);
    }
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
        return index.column() >= Quantity && index.column() <= RealizedGain
                   ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                   : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    case ToneRole:
        if (index.column() == Type)
            return int(typeTone(record.transactionType));
        if (index.column() == RealizedGain && record.realizedGain)
            return int(*record.realizedGain < 0 ? LedgerTone::Loss : LedgerTone::Gain);
        return int(LedgerTone::Primary);
    case RawValueRole:
        return rawValue(record, index.column());
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

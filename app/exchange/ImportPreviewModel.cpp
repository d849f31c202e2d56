#include "app/exchange/ImportPreviewModel.h"

#include "app/table/TableStyle.h"
#include "app/workspace/TransactionImport.h"
#include "app/workspace/TransactionRules.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QBrush>
#include <QGuiApplication>

namespace quillfern {

using exchange::ImportRow;

ImportPreviewModel::ImportPreviewModel(QObject *parent) : QAbstractTableModel(parent) {}

void ImportPreviewModel::setPlan(const exchange::ImportPlan &plan, int limit, const QString &languageCode)
{
    beginResetModel();
    m_rows = plan.rows.first(std::min(plan.rows.size(), qsizetype(limit)));
    m_language = languageCode;
    endResetModel();
}

int ImportPreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ImportPreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ImportPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    static const char16_t *const keys[ColumnCount] = {u"wizardColumnLine", u"wizardColumnOutcome",
                                                      u"wizardColumnDate", u"transactionType",
                                                      u"market",           u"ticker",
                                                      u"quantity",         u"wizardColumnPrice",
                                                      u"amount",           u"currency",
                                                      u"broker",           u"wizardColumnProblem"};
    return AppText::value(QStringView(keys[section]), m_language);
}

QVariant ImportPreviewModel::raw(const ImportRow &row, int column) const
{
    const TransactionCreateInput &input = row.input;
    switch (column) {
    case Line:
        return row.line;
    case Outcome:
        return int(row.outcome);
    case Date:
        return input.tradedAt;
    case Type:
        return input.transactionType;
    case Market:
        return input.market;
    case Code:
        return input.code;
    case Quantity:
        return input.quantity;
    case Price:
        return input.price;
    case Amount:
        return input.amount ? QVariant(*input.amount) : QVariant();
    case Currency:
        return input.currency;
    case Broker:
        return input.broker;
    case Problem:
        return row.problem ? row.problem->key : QString();
    }
    return {};
}

QString ImportPreviewModel::display(const ImportRow &row, int column) const
{
    const TransactionCreateInput &input = row.input;
    const bool error = row.outcome == ImportRow::Outcome::Error;
    switch (column) {
    case Line:
        return QString::number(row.line);
    case Outcome:
        return AppText::value(error                                          ? u"wizardOutcomeError"
                              : row.outcome == ImportRow::Outcome::Duplicate ? u"wizardOutcomeDuplicate"
                                                                             : u"wizardOutcomeOk",
                              m_language);
    case Problem:
        return row.problem ? importProblemText(*row.problem, m_language) : QString();
    default:
        break;
    }
    // A row with an error reads as no transaction.
    if (error)
        return {};
    switch (column) {
    case Date:
        return input.tradedAt.left(10);
    case Type: {
        const QString key = transactionTypeKey(input.transactionType);
        return key.isEmpty() ? input.transactionType : AppText::value(key, m_language);
    }
    case Quantity:
        return input.quantity == 0 ? QString() : decimal(input.quantity, 8);
    case Price:
        return input.price == 0 ? QString() : decimal(input.price, 8);
    case Amount:
        return input.amount ? decimal(*input.amount, 8) : QString();
    default:
        return raw(row, column).toString();
    }
}

QVariant ImportPreviewModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const ImportRow &row = m_rows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return display(row, column);
    case Qt::ToolTipRole:
        return column == Problem && row.problem ? display(row, column) : QVariant();
    case Qt::UserRole:
        return raw(row, column);
    case Qt::TextAlignmentRole:
        return column == Line || column == Quantity || column == Price || column == Amount
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (row.outcome == ImportRow::Outcome::Error && (column == Outcome || column == Problem))
            return QBrush(table::red(QGuiApplication::palette()));
        if (row.outcome == ImportRow::Outcome::Duplicate)
            return QBrush(table::secondaryText(QGuiApplication::palette()));
        return {};
    default:
        return {};
    }
}

} // namespace quillfern

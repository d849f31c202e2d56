#include "core/TransactionIdentity.h"

#include <QDateTime>

namespace quillfern {
namespace {

QString figure(double value)
{
    return value == 0 ? QStringLiteral("0") : QString::number(value, 'g', 8);
}

QString key(const QString &tradedAt, const QString &code, const QString &type, double quantity, double price,
            double amount, const QString &broker)
{
    const QDateTime moment = QDateTime::fromString(tradedAt, Qt::ISODate);
    const QString day = moment.isValid() ? moment.toUTC().date().toString(Qt::ISODate) : tradedAt.left(10);
    const QChar separator(0x1F);
    return day + separator + code.trimmed().toUpper() + separator + type.trimmed().toUpper() + separator +
           figure(quantity) + separator + figure(price) + separator + figure(amount) + separator +
           broker.trimmed().toCaseFolded();
}

} // namespace

QString duplicateKey(const TransactionCreateInput &input)
{
    return key(input.tradedAt, input.code, input.transactionType, input.quantity, input.price,
               input.amount.value_or(0), input.broker);
}

QString duplicateKey(const TransactionRecord &record)
{
    return key(record.tradedAt, record.code, record.transactionType, record.quantity, record.price,
               record.amount.value_or(0), record.broker);
}

} // namespace quillfern

#include "core/exchange/ImportMapping.h"

#include "core/exchange/ImportValues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillfern::exchange {
namespace {

struct FieldName {
    ImportField field;
    const char16_t *name;
};
constexpr FieldName fieldNames[] = {
    {ImportField::Date, u"date"},
    {ImportField::Type, u"type"},
    {ImportField::Code, u"code"},
    {ImportField::Market, u"market"},
    {ImportField::Quantity, u"quantity"},
    {ImportField::Price, u"price"},
    {ImportField::Commission, u"commission"},
    {ImportField::Currency, u"currency"},
    {ImportField::Amount, u"amount"},
    {ImportField::Broker, u"broker"},
    {ImportField::Note, u"note"},
    {ImportField::Sector, u"sector"},
    {ImportField::SubSector, u"subSector"},
    {ImportField::SplitRatio, u"splitRatio"},
};

} // namespace

QList<ImportField> importFields()
{
    QList<ImportField> fields;
    for (const FieldName &entry : fieldNames)
        fields.append(entry.field);
    return fields;
}

QString importFieldName(ImportField field)
{
    for (const FieldName &entry : fieldNames) {
        if (entry.field == field)
            return QString::fromUtf16(entry.name);
    }
    return {};
}

std::optional<ImportField> importFieldFromName(QStringView name)
{
    for (const FieldName &entry : fieldNames) {
        if (name == QStringView(entry.name))
            return entry.field;
    }
    return std::nullopt;
}

QByteArray ImportMapping::toJson() const
{
    QJsonObject object;
    object.insert(u"version", 1);
    object.insert(u"encoding", encoding);
    object.insert(u"delimiter", QString(dialect.delimiter));
    object.insert(u"quote", QString(dialect.quote));
    object.insert(u"skipLines", skipLines);
    object.insert(u"hasHeader", hasHeader);
    QJsonObject columnObject;
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        columnObject.insert(importFieldName(it.key()), it.value());
    object.insert(u"columns", columnObject);
    QJsonObject typeObject;
    for (auto it = typeValues.cbegin(); it != typeValues.cend(); ++it)
        typeObject.insert(it.key(), it.value());
    object.insert(u"typeValues", typeObject);
    object.insert(u"dateFormat", dateFormat);
    object.insert(u"decimal", QString(numbers.decimal));
    object.insert(u"grouping", numbers.grouping.isNull() ? QString() : QString(numbers.grouping));
    object.insert(u"defaultBroker", defaultBroker);
    object.insert(u"defaultMarket", defaultMarket);
    object.insert(u"defaultCurrency", defaultCurrency);
    object.insert(u"defaultType", defaultType);
    object.insert(u"headers", QJsonArray::fromStringList(headers));
    object.insert(u"tradesSettleInCash", tradesSettleInCash);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ImportMapping> ImportMapping::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    if (object.value(u"version").toInt() != 1)
        return std::nullopt;
    const auto oneChar = [&](QStringView key, bool mayBeEmpty) -> std::optional<QChar> {
        const QJsonValue value = object.value(key);
        if (!value.isString())
            return std::nullopt;
        const QString text = value.toString();
        if (text.size() == 1)
            return text.front();
        if (text.isEmpty() && mayBeEmpty)
            return QChar();
        return std::nullopt;
    };
    const auto delimiter = oneChar(u"delimiter", false);
    const auto quote = oneChar(u"quote", false);
    const auto decimal = oneChar(u"decimal", false);
    const auto grouping = oneChar(u"grouping", true);
    const QJsonValue skip = object.value(u"skipLines");
    if (!delimiter || !quote || !decimal || !grouping || !skip.isDouble() || skip.toInt(-1) < 0 ||
        !object.value(u"hasHeader").isBool() || !object.value(u"columns").isObject() ||
        !object.value(u"typeValues").isObject())
        return std::nullopt;

    ImportMapping mapping;
    mapping.encoding = object.value(u"encoding").toString();
    mapping.dialect = {*delimiter, *quote};
    mapping.skipLines = skip.toInt();
    mapping.hasHeader = object.value(u"hasHeader").toBool();
    const QJsonObject columnObject = object.value(u"columns").toObject();
    for (auto it = columnObject.begin(); it != columnObject.end(); ++it) {
        const auto field = importFieldFromName(it.key());
        if (!field || !it.value().isDouble() || it.value().toInt(-1) < 0)
            return std::nullopt;
        mapping.columns.insert(*field, it.value().toInt());
    }
    const QJsonObject typeObject = object.value(u"typeValues").toObject();
    for (auto it = typeObject.begin(); it != typeObject.end(); ++it) {
        if (!transactionTypes().contains(it.value().toString()))
            return std::nullopt;
        mapping.typeValues.insert(it.key(), it.value().toString());
    }
    mapping.dateFormat = object.value(u"dateFormat").toString();
    mapping.numbers = {*decimal, *grouping};
    mapping.defaultBroker = object.value(u"defaultBroker").toString();
    mapping.defaultMarket = object.value(u"defaultMarket").toString();
    mapping.defaultCurrency = object.value(u"defaultCurrency").toString();
    mapping.defaultType = object.value(u"defaultType").toString();
    if (!mapping.defaultType.isEmpty() && !transactionTypes().contains(mapping.defaultType))
        return std::nullopt;
    for (const QJsonValue &header : object.value(u"headers").toArray())
        mapping.headers.append(header.toString());
    mapping.tradesSettleInCash = object.value(u"tradesSettleInCash").toBool(true); // absent in older ones
    return mapping;
}
} // namespace quillfern::exchange

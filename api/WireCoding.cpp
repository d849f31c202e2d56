#include "api/WireCoding.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace quillfern::wire {
QString CodingPath::text() const
{
    QString path;
    for (const Step &step : m_steps) {
        if (step.key) {
            if (!path.isEmpty())
                path.append(QLatin1Char('.'));
            path.append(*step.key);
        } else {
            path.append(QLatin1Char('[') + QString::number(step.index) + QLatin1Char(']'));
        }
    }
    return path;
}

Result<QJsonValue, DecodingError> parseBody(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error == QJsonParseError::NoError)
        return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());

    // The parser takes only an object or an array at the top; a lone string, number, boolean or null is
    // still JSON, so look at it inside an array of one.
    QJsonParseError wrappedError{};
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + body + ']', &wrappedError);
    if (wrappedError.error == QJsonParseError::NoError && wrapped.array().size() == 1)
        return wrapped.array().first();

    return DecodingError{DecodingError::Reason::NotJSON,
                         {},
                         QStringLiteral("%1 at offset %2").arg(error.errorString()).arg(error.offset)};
}

bool DecodeContext::fail(DecodingError::Reason reason, QString detail)
{
    m_error = DecodingError{reason, m_path.text(), std::move(detail)};
    return false;
}

bool EncodeContext::fail()
{
    m_error = EncodingError{m_path.text()};
    return false;
}

WireKey wireKeyOf(const char *fieldName)
{
    const QString text = toSnakeCase(QString::fromLatin1(fieldName));
    return WireKey{text, text.toUtf8()};
}

QJsonValue lookup(const QJsonObject &object, const char *name, const WireKey &key, KeyDecoding keys)
{
    const QLatin1StringView fieldName(name);
    if (keys == KeyDecoding::UseKeysAsGiven)
        return object.value(fieldName);
    if (const auto exact = object.constFind(key.text); exact != object.constEnd())
        return *exact;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (fromSnakeCase(it.key()) == fieldName)
            return it.value();
    }
    return QJsonValue(QJsonValue::Undefined);
}

JsonNode lookup(const JsonNode &object, const char *name, const WireKey &key, KeyDecoding keys)
{
    if (keys == KeyDecoding::UseKeysAsGiven)
        return object.member(QByteArrayView(name));
    const JsonNode exact = object.member(key.utf8);
    return exact.isUndefined() ? object.memberConvertingTo(QLatin1StringView(name)) : exact;
}

bool encodeValue(const QString &value, JsonWriter &writer, EncodeContext &)
{
    writer.string(value);
    return true;
}

bool encodeValue(double value, JsonWriter &writer, EncodeContext &context)
{
    if (!std::isfinite(value))
        return context.fail();
    writer.number(value);
    return true;
}

bool encodeValue(bool value, JsonWriter &writer, EncodeContext &)
{
    writer.boolean(value);
    return true;
}

} // namespace quillfern::wire

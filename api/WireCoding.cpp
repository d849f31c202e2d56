#include "api/WireCoding.h"

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

DecodingError decodingError(const JsonReadError &error)
{
    if (error.kind == JsonReadError::Kind::DuplicateKey)
        return DecodingError{DecodingError::Reason::DuplicateKey, error.path, {}};
    return DecodingError{DecodingError::Reason::NotJSON, {},
                         QStringLiteral("%1 at offset %2").arg(error.message).arg(error.offset)};
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

JsonNode lookup(const JsonNode &object, const char *name, const WireKey &key, KeyDecoding keys, bool &ambiguous)
{
    ambiguous = false;
    if (keys == KeyDecoding::UseKeysAsGiven)
        return object.member(QByteArrayView(name));
    const JsonNode exact = object.member(key.utf8);
    return exact.isUndefined() ? object.memberConvertingTo(QLatin1StringView(name), ambiguous) : exact;
}

bool decodeValue(const JsonNode &json, QString &out, DecodeContext &context)
{
    if (!json.isString())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("a string"));
    out = json.toString();
    return true;
}

bool decodeValue(const JsonNode &json, double &out, DecodeContext &context)
{
    if (!json.isDouble())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("a number"));
    out = json.toDouble();
    return true;
}

bool decodeValue(const JsonNode &json, bool &out, DecodeContext &context)
{
    if (!json.isBool())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("a boolean"));
    out = json.toBool();
    return true;
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

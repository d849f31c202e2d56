#pragma once

// JSON coding of the wire records. Decoding is strict: a required field that is missing, null or of the
// wrong JSON type fails the whole body, and the error names the field. Unknown keys are ignored. Encoding
// leaves absent optionals out and refuses non-finite numbers.

#include "api/APIError.h"
#include "api/JsonReader.h"
#include "api/JsonWriter.h"
#include "api/KeyConversion.h"
#include "api/WireSchema.h"
#include "core/Result.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cmath>
#include <optional>
#include <type_traits>
#include <vector>

namespace quillfern {

enum class KeyDecoding {
    ConvertFromSnakeCase, // every success body: "fx_to_usd" and "fxToUsd" both match fxToUsd
    UseKeysAsGiven,       // error and price bodies, whose keys are single words
};

namespace wire {

template <class T>
concept Record = requires
{
    WireSchema<T>::fields;
};

template <class T> struct IsOptional : std::false_type {
};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {
};

// The body parsed as one JSON value of any kind, or why it is not JSON.
Result<QJsonValue, DecodingError> parseBody(const QByteArray &body);

// Where the coder is inside a document: wire keys (which live as long as the program) and list indexes.
// The text form is built only when something fails, so tracking costs nothing on the good path.
class CodingPath {
public:
    void push(const QString &key) { m_steps.push_back({&key, 0}); }
    void push(qsizetype index) { m_steps.push_back({nullptr, index}); }
    void pop() { m_steps.pop_back(); }
    QString text() const;

private:
    struct Step {
        const QString *key;
        qsizetype index;
    };
    std::vector<Step> m_steps;
};

class DecodeContext {
public:
    explicit DecodeContext(KeyDecoding keys) : m_keys(keys) {}

    KeyDecoding keys() const { return m_keys; }
    template <class Step> void push(const Step &step) { m_path.push(step); }
    void pop() { m_path.pop(); }
    bool fail(DecodingError::Reason reason, QString detail = {});
    DecodingError error() const { return m_error; }

private:
    KeyDecoding m_keys;
    CodingPath m_path;
    DecodingError m_error;
};

class EncodeContext {
public:
    template <class Step> void push(const Step &step) { m_path.push(step); }
    void pop() { m_path.pop(); }
    bool fail();
    EncodingError error() const { return m_error; }

private:
    CodingPath m_path;
    EncodingError m_error;
};

// A field's wire key, as text and as the UTF-8 bytes the quick reader compares.
struct WireKey {
    QString text;
    QByteArray utf8;
};
WireKey wireKeyOf(const char *fieldName);

// The object to look fields up in: Qt's object, or the quick reader's node itself.
inline QJsonObject objectOf(const QJsonValue &json) { return json.toObject(); }
inline const JsonNode &objectOf(const JsonNode &json) { return json; }

// The value under a field, by its wire key, by its own name, or by any key that converts to that name.
QJsonValue lookup(const QJsonObject &object, const char *name, const WireKey &key, KeyDecoding keys);
JsonNode lookup(const JsonNode &object, const char *name, const WireKey &key, KeyDecoding keys);

// Each element of an array, in order, until visit answers false; false then.
template <class Visit> bool forEachElement(const QJsonValue &json, Visit &&visit)
{
    const QJsonArray array = json.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!visit(i, array.at(i)))
            return false;
    }
    return true;
}
template <class Visit> bool forEachElement(const JsonNode &json, Visit &&visit)
{
    JsonNode element = json.firstElement();
    for (qsizetype i = 0; i < json.size(); ++i, element = element.nextSibling()) {
        if (!visit(i, element))
            return false;
    }
    return true;
}

inline qsizetype elementCount(const QJsonValue &json) { return json.toArray().size(); }
inline qsizetype elementCount(const JsonNode &json) { return json.size(); }

// Decoding reads either Qt's JSON values or the quick reader's; both answer the same questions.
template <class Json> bool decodeValue(const Json &json, QString &out, DecodeContext &context)
{
    if (!json.isString())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("a string"));
    out = json.toString();
    return true;
}

template <class Json> bool decodeValue(const Json &json, double &out, DecodeContext &context)
{
    if (!json.isDouble())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("a number"));
    out = json.toDouble();
    return true;
}

template <class Json> bool decodeValue(const Json &json, bool &out, DecodeContext &context)
{
    if (!json.isBool())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("a boolean"));
    out = json.toBool();
    return true;
}

bool encodeValue(const QString &value, JsonWriter &writer, EncodeContext &context);
bool encodeValue(double value, JsonWriter &writer, EncodeContext &context);
bool encodeValue(bool value, JsonWriter &writer, EncodeContext &context);

template <Record R> const auto &wireKeys()
{
    static const auto keys = std::apply(
        [](const auto &...field) { return std::array<WireKey, sizeof...(field)>{wireKeyOf(field.name)...}; },
        WireSchema<R>::fields);
    return keys;
}

template <class Json, Record R> bool decodeValue(const Json &json, R &out, DecodeContext &context);
template <class Json, class T> bool decodeValue(const Json &json, QList<T> &out, DecodeContext &context);

template <class Json, class T> bool decodeField(const Json &json, T &out, DecodeContext &context)
{
    if constexpr (IsOptional<T>::value) {
        if (json.isUndefined() || json.isNull()) {
            out.reset();
            return true;
        }
        typename T::value_type inner{};
        if (!decodeValue(json, inner, context))
            return false;
        out = std::move(inner);
        return true;
    } else {
        if (json.isUndefined())
            return context.fail(DecodingError::Reason::Missing);
        if (json.isNull())
            return context.fail(DecodingError::Reason::Null);
        return decodeValue(json, out, context);
    }
}

template <class Json, Record R> bool decodeValue(const Json &json, R &out, DecodeContext &context)
{
    if (!json.isObject())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("an object"));
    const auto &keys = wireKeys<R>();
    const auto &object = objectOf(json);
    size_t index = 0;
    return std::apply(
        [&](const auto &...field) {
            const auto one = [&](const auto &f) {
                const WireKey &key = keys[index++];
                context.push(key.text);
                const bool ok = decodeField(lookup(object, f.name, key, context.keys()), out.*(f.member), context);
                if (ok)
                    context.pop();
                return ok;
            };
            return (one(field) && ...);
        },
        WireSchema<R>::fields);
}

template <class Json, class T> bool decodeValue(const Json &json, QList<T> &out, DecodeContext &context)
{
    if (!json.isArray())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("an array"));
    out.clear();
    out.reserve(elementCount(json));
    return forEachElement(json, [&](qsizetype i, const auto &element) {
        context.push(i);
        T decoded{};
        if (!decodeField(element, decoded, context))
            return false;
        context.pop();
        out.append(std::move(decoded));
        return true;
    });
}

template <Record R> bool encodeValue(const R &record, JsonWriter &writer, EncodeContext &context);

template <class T> bool encodeValue(const QList<T> &list, JsonWriter &writer, EncodeContext &context)
{
    writer.beginArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        context.push(i);
        if (!encodeValue(list.at(i), writer, context))
            return false;
        context.pop();
    }
    writer.endArray();
    return true;
}

template <class T> bool encodeField(const T &value, const QString &wireKey, JsonWriter &writer, EncodeContext &context)
{
    if constexpr (IsOptional<T>::value) {
        if (!value)
            return true; // absent optionals are left out, never written as null
        return encodeField(*value, wireKey, writer, context);
    } else {
        context.push(wireKey);
        writer.key(wireKey);
        if (!encodeValue(value, writer, context))
            return false;
        context.pop();
        return true;
    }
}

template <Record R> bool encodeValue(const R &record, JsonWriter &writer, EncodeContext &context)
{
    const auto &keys = wireKeys<R>();
    size_t index = 0;
    writer.beginObject();
    const bool ok = std::apply(
        [&](const auto &...field) {
            return (encodeField(record.*(field.member), keys[index++].text, writer, context) && ...);
        },
        WireSchema<R>::fields);
    writer.endObject();
    return ok;
}

} // namespace wire

// decodeJSON as Qt's JSON parser reads the body: what the quick reader must agree with, and the answer
// whenever it does not read a body itself.
template <class T>
Result<T, DecodingError> decodeJSONWithQt(const QByteArray &body, KeyDecoding keys = KeyDecoding::ConvertFromSnakeCase)
{
    auto parsed = wire::parseBody(body);
    if (!parsed)
        return parsed.error();
    T value{};
    if constexpr (!std::is_same_v<T, EmptyResponse>) {
        wire::DecodeContext context(keys);
        if (!wire::decodeValue(*parsed, value, context))
            return context.error();
    }
    return value;
}

// Decodes a record or a list of records (QList<Record>) from a body. EmptyResponse accepts any JSON value
// and reads nothing from it. Plain documents are read by the quick reader, a few times faster than Qt's
// parser on a 200-holding portfolio; any other body, and any body that fails, is decoded again through
// Qt's parser, so that what is refused and how the refusal reads stay Qt's.
template <class T>
Result<T, DecodingError> decodeJSON(const QByteArray &body, KeyDecoding keys = KeyDecoding::ConvertFromSnakeCase)
{
    if (const auto tree = wire::JsonTree::read(body)) {
        T value{};
        if constexpr (std::is_same_v<T, EmptyResponse>) {
            return value;
        } else {
            wire::DecodeContext context(keys);
            if (wire::decodeValue(tree->root(), value, context) && !tree->gaveUp())
                return value;
        }
    }
    return decodeJSONWithQt<T>(body, keys);
}

// Encodes a record or a list of records as a compact UTF-8 JSON body with snake_case keys.
template <class T> Result<QByteArray, EncodingError> encodeJSON(const T &value)
{
    JsonWriter writer;
    wire::EncodeContext context;
    if (!wire::encodeValue(value, writer, context))
        return context.error();
    return writer.take();
}

} // namespace quillfern

#pragma once

// JSON coding of the wire records. Decoding is strict: a body that is not JSON to the strict reader, a key
// given twice, or a required field that is missing, null or of the wrong JSON type fails the whole body, and
// the error names the field. Unknown keys are ignored. Encoding leaves absent optionals out and refuses
// non-finite numbers.

#include "api/APIError.h"
#include "api/JsonReader.h"
#include "api/JsonWriter.h"
#include "api/KeyConversion.h"
#include "api/WireSchema.h"
#include "core/Result.h"

#include <QByteArray>
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
    UseKeysAsGiven,       // error bodies, whose keys are single words
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

// A field's wire key, as text and as the UTF-8 bytes the reader compares.
struct WireKey {
    QString text;
    QByteArray utf8;
};
WireKey wireKeyOf(const char *fieldName);

// The value under a field, by its wire key, by its own name, or by the one key that converts to that name;
// undefined, with ambiguous set, when two keys convert to it.
JsonNode lookup(const JsonNode &object, const char *name, const WireKey &key, KeyDecoding keys, bool &ambiguous);

// How a text that is not JSON, or holds a key twice, is told to the user.
DecodingError decodingError(const JsonReadError &error);

bool decodeValue(const JsonNode &json, QString &out, DecodeContext &context);
bool decodeValue(const JsonNode &json, double &out, DecodeContext &context);
bool decodeValue(const JsonNode &json, bool &out, DecodeContext &context);

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

template <Record R> bool decodeValue(const JsonNode &json, R &out, DecodeContext &context);
template <class T> bool decodeValue(const JsonNode &json, QList<T> &out, DecodeContext &context);

template <class T> bool decodeField(const JsonNode &json, T &out, DecodeContext &context)
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

template <Record R> bool decodeValue(const JsonNode &json, R &out, DecodeContext &context)
{
    if (!json.isObject())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("an object"));
    const auto &keys = wireKeys<R>();
    size_t index = 0;
    return std::apply(
        [&](const auto &...field) {
            const auto one = [&](const auto &f) {
                const WireKey &key = keys[index++];
                context.push(key.text);
                bool ambiguous = false;
                const JsonNode value = lookup(json, f.name, key, context.keys(), ambiguous);
                if (ambiguous)
                    return context.fail(DecodingError::Reason::DuplicateKey);
                const bool ok = decodeField(value, out.*(f.member), context);
                if (ok)
                    context.pop();
                return ok;
            };
            return (one(field) && ...);
        },
        WireSchema<R>::fields);
}

template <class T> bool decodeValue(const JsonNode &json, QList<T> &out, DecodeContext &context)
{
    if (!json.isArray())
        return context.fail(DecodingError::Reason::WrongType, QStringLiteral("an array"));
    out.clear();
    out.reserve(json.size());
    JsonNode element = json.firstElement();
    for (qsizetype i = 0; i < json.size(); ++i, element = element.nextSibling()) {
        context.push(i);
        T decoded{};
        if (!decodeField(element, decoded, context))
            return false;
        context.pop();
        out.append(std::move(decoded));
    }
    return true;
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

// Decodes a record or a list of records (QList<Record>) from a body read by the strict reader. EmptyResponse
// accepts any JSON value and reads nothing from it.
template <class T>
Result<T, DecodingError> decodeJSON(const QByteArray &body, KeyDecoding keys = KeyDecoding::ConvertFromSnakeCase)
{
    const auto tree = wire::JsonTree::read(body);
    if (!tree)
        return wire::decodingError(tree.error());
    T value{};
    if constexpr (!std::is_same_v<T, EmptyResponse>) {
        wire::DecodeContext context(keys);
        if (!wire::decodeValue(tree->root(), value, context))
            return context.error();
    }
    return value;
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

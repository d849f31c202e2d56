#pragma once

#include "api/WireCoding.h"
#include "server/ResponseEncoding.h"
#include "server/StoreError.h"

#include "server/http/HttpMessage.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace quillfern::server {

// Answers {"error": message}: every refusal of the service has this shape.
void sendError(http::Response &response, int status, const QString &message,
               const std::optional<QString> &field = std::nullopt, std::optional<int> row = std::nullopt);
void sendStoreError(http::Response &response, const StoreError &error);

// A record as JSON, never compressed: for refusals and for answers that carry a secret.
template <class Record>
void sendJSON(http::Response &response, int status, const Record &record)
{
    const auto body = encodeJSON(record);
    if (!body) {
        sendError(response, 500, QStringLiteral("The service could not write its answer."));
        return;
    }
    response.status = status;
    response.setContent(body->toStdString(), jsonContentType);
}

// A record as JSON, compressed when it is large and the client takes gzip.
template <class Record>
void sendJSON(const http::Request &request, http::Response &response, int status, const Record &record)
{
    const auto body = encodeJSON(record);
    if (!body) {
        sendError(response, 500, QStringLiteral("The service could not write its answer."));
        return;
    }
    sendBody(request, response, status, body->toStdString());
}

// The record a store operation produced, or its refusal.
template <class Record>
void sendStored(const http::Request &request, http::Response &response, int status,
                const StoreResult<Record> &result)
{
    if (!result)
        return sendStoreError(response, result.error());
    sendJSON(request, response, status, *result);
}

// Where a JSON text holds U+FFFE or U+FFFF, written out or escaped; nothing when it holds neither. SQLite
// reads those two back as U+FFFD, so the service refuses them rather than store text it cannot return.
std::optional<std::size_t> findNoncharacter(std::string_view json);

// The request body decoded strictly, as the app decodes answers; on failure a 400 has been sent.
template <class Record>
std::optional<Record> readJSON(const http::Request &request, http::Response &response)
{
    if (const auto at = findNoncharacter(request.body)) {
        sendError(response, 400,
                  QStringLiteral("Text may not contain U+FFFE or U+FFFF (at byte %1).").arg(qulonglong(*at)));
        return std::nullopt;
    }
    auto decoded = decodeJSON<Record>(QByteArray::fromRawData(request.body.data(), qsizetype(request.body.size())));
    if (!decoded) {
        sendError(response, 400, decoded.error().description());
        return std::nullopt;
    }
    return std::move(decoded).value();
}

// What an If-Match header (RFC 9110) asks for: nothing when absent, any stored version for "*", else one
// of the listed entity tags. Tags are compared strongly, so weak ones are left out; a header that does not
// parse keeps no tags, so it matches nothing and the write is refused rather than applied.
struct IfMatch {
    enum class Kind { Absent, Any, Tags };
    Kind kind = Kind::Absent;
    std::vector<std::string> strongTags; // as sent, quotes included
};
IfMatch ifMatch(const http::Request &request);

// The token of an "Authorization: Bearer ..." header, or empty.
QString bearerToken(const http::Request &request);

QString queryValue(const http::Request &request, const char *name);
QString formValue(const http::Request &request, const char *name);

// Characters that would change an HTML page's structure, escaped.
QString escapeHTML(const QString &text);

} // namespace quillfern::server

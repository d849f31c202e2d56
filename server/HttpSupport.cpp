#include "server/HttpSupport.h"

#include <algorithm>
#include <cctype>

#include <string_view>

namespace quillfern::server {

std::optional<std::size_t> findNoncharacter(std::string_view json)
{
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (json.substr(i, 2) == "\xef\xbf" && i + 2 < json.size() && (json[i + 2] == '\xbe' || json[i + 2] == '\xbf'))
            return i;
        if (json[i] != '\\')
            continue;
        // An escape: \\ is one character, \uXXXX is checked, anything else is the reader's business.
        if (i + 1 < json.size() && json[i + 1] == 'u' && i + 6 <= json.size()) {
            std::string digits(json.substr(i + 2, 4));
            std::transform(digits.begin(), digits.end(), digits.begin(), [](unsigned char c) { return char(std::toupper(c)); });
            if (digits == "FFFE" || digits == "FFFF")
                return i;
        }
        ++i;
    }
    return std::nullopt;
}

void sendError(http::Response &response, int status, const QString &message, const std::optional<QString> &field,
               std::optional<int> row)
{
    sendJSON(response, status, ServerError{message, field, row ? std::optional<double>(*row) : std::nullopt});
    response.status = status;
}

void sendStoreError(http::Response &response, const StoreError &error)
{
    switch (error.kind) {
    case StoreError::Kind::BadRequest:
        return sendError(response, 400, error.message, error.field, error.row);
    case StoreError::Kind::Unauthorized:
        return sendError(response, 401, error.message);
    case StoreError::Kind::NotFound:
        return sendError(response, 404, error.message);
    case StoreError::Kind::PreconditionFailed:
        return sendError(response, 412, error.message);
    case StoreError::Kind::Unprocessable:
        return sendError(response, 422, error.message);
    case StoreError::Kind::Unavailable:
        return sendError(response, 503, error.message);
    }
}

IfMatch ifMatch(const http::Request &request)
{
    const std::vector<std::string_view> lines = request.headerValues("If-Match");
    if (lines.empty())
        return {};
    // Several header lines are one comma-separated list.
    std::string value;
    for (const std::string_view line : lines)
        value.append(value.empty() ? "" : ",").append(line);

    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    const auto trimmed = [&](std::string_view text) {
        while (!text.empty() && isSpace(text.front()))
            text.remove_prefix(1);
        while (!text.empty() && isSpace(text.back()))
            text.remove_suffix(1);
        return text;
    };
    if (trimmed(value) == "*")
        return IfMatch{IfMatch::Kind::Any, {}};

    IfMatch tags{IfMatch::Kind::Tags, {}};
    std::size_t at = 0;
    while (true) {
        while (at < value.size() && (isSpace(value[at]) || value[at] == ','))
            ++at; // empty list elements are allowed
        if (at == value.size())
            return tags;
        const bool weak = value.compare(at, 2, "W/") == 0;
        if (weak)
            at += 2;
        if (at == value.size() || value[at] != '"')
            return IfMatch{IfMatch::Kind::Tags, {}};
        const std::size_t start = at++;
        // etagc: any visible character but the quote, or obs-text.
        while (at < value.size() && value[at] != '"' &&
               (value[at] == 0x21 || (value[at] >= 0x23 && value[at] <= 0x7e) || (value[at] & 0x80)))
            ++at;
        if (at == value.size() || value[at] != '"')
            return IfMatch{IfMatch::Kind::Tags, {}};
        ++at;
        if (!weak)
            tags.strongTags.push_back(value.substr(start, at - start));
        while (at < value.size() && isSpace(value[at]))
            ++at;
        if (at < value.size() && value[at] != ',')
            return IfMatch{IfMatch::Kind::Tags, {}};
    }
}

QString bearerToken(const http::Request &request)
{
    // A request with two Authorization headers has no single token.
    const auto value = request.singleHeader("Authorization");
    if (!value)
        return {};
    const std::string_view header = *value;
    static const std::string prefix = "Bearer ";
    if (header.size() <= prefix.size() || header.size() > prefix.size() + 512 ||
        header.compare(0, prefix.size(), prefix) != 0)
        return {};
    // Tokens are base64url text, taken as sent: anything else after the scheme (spaces, percent escapes,
    // control characters) is not a token, rather than a token with decoration.
    const auto isTokenCharacter = [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_'; };
    if (!std::all_of(header.cbegin() + std::ptrdiff_t(prefix.size()), header.cend(), isTokenCharacter))
        return {};
    const std::string_view token = header.substr(prefix.size());
    return QString::fromLatin1(token.data(), qsizetype(token.size()));
}

QString queryValue(const http::Request &request, const char *name)
{
    return request.hasParam(name) ? QString::fromStdString(request.param(name)) : QString();
}

QString formValue(const http::Request &request, const char *name) { return queryValue(request, name); }

QString escapeHTML(const QString &text) { return text.toHtmlEscaped(); }

} // namespace quillfern::server

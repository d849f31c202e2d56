#include "server/http/HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace quillfern::server::http {

bool sameHeaderName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::size_t Request::headerCount(std::string_view name) const
{
    return std::size_t(std::count_if(headers.cbegin(), headers.cend(),
                                     [name](const auto &field) { return sameHeaderName(field.first, name); }));
}

std::optional<std::string_view> Request::singleHeader(std::string_view name) const
{
    const std::vector<std::string_view> values = headerValues(name);
    if (values.size() != 1)
        return std::nullopt;
    return values.front();
}

std::vector<std::string_view> Request::headerValues(std::string_view name) const
{
    std::vector<std::string_view> values;
    for (const auto &[fieldName, value] : headers)
        if (sameHeaderName(fieldName, name))
            values.emplace_back(value);
    return values;
}

std::string_view Request::header(std::string_view name) const
{
    for (const auto &[fieldName, value] : headers)
        if (sameHeaderName(fieldName, name))
            return value;
    return {};
}

bool Request::hasParam(std::string_view name) const
{
    return std::any_of(params.cbegin(), params.cend(), [name](const auto &field) { return field.first == name; });
}

std::string Request::param(std::string_view name) const
{
    for (const auto &[fieldName, value] : params)
        if (fieldName == name)
            return value;
    return {};
}

void Response::setHeader(std::string_view name, std::string value)
{
    std::erase_if(headers, [name](const auto &field) { return sameHeaderName(field.first, name); });
    headers.emplace_back(std::string(name), std::move(value));
}

void Response::setContent(std::string content, std::string_view contentType)
{
    body = std::move(content);
    setHeader("Content-Type", std::string(contentType));
}

void Response::redirect(std::string location, int redirectStatus)
{
    status = redirectStatus;
    setHeader("Location", std::move(location));
}

} // namespace quillfern::server::http

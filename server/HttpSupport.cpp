#include "server/HttpSupport.h"

namespace quillfern::server {

void sendError(httplib::Response &response, int status, const QString &message)
{
    sendJSON(response, status, ServerError{message});
    response.status = status;
}

void sendStoreError(httplib::Response &response, const StoreError &error)
{
    switch (error.kind) {
    case StoreError::Kind::BadRequest:
        return sendError(response, 400, error.message);
    case StoreError::Kind::Unauthorized:
        return sendError(response, 401, error.message);
    case StoreError::Kind::NotFound:
        return sendError(response, 404, error.message);
    case StoreError::Kind::Unavailable:
        return sendError(response, 503, error.message);
    }
}

QString bearerToken(const httplib::Request &request)
{
    const std::string header = request.get_header_value("Authorization");
    static const std::string prefix = "Bearer ";
    if (header.size() <= prefix.size() || header.compare(0, prefix.size(), prefix) != 0)
        return {};
    return QString::fromStdString(header.substr(prefix.size())).trimmed();
}

QString queryValue(const httplib::Request &request, const char *name)
{
    return request.has_param(name) ? QString::fromStdString(request.get_param_value(name)) : QString();
}

QString formValue(const httplib::Request &request, const char *name) { return queryValue(request, name); }

QString escapeHTML(const QString &text) { return text.toHtmlEscaped(); }

} // namespace quillfern::server

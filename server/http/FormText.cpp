#include "server/http/FormText.h"

#include <QByteArray>

namespace quillfern::server::http {
namespace {

std::string decoded(std::string_view part)
{
    QByteArray bytes(part.data(), qsizetype(part.size()));
    bytes.replace('+', ' ');
    const QByteArray text = QByteArray::fromPercentEncoding(bytes);
    return text.toStdString();
}

} // namespace

std::string percentDecoded(std::string_view text)
{
    return QByteArray::fromPercentEncoding(QByteArray(text.data(), qsizetype(text.size()))).toStdString();
}

FormFields parseFormText(std::string_view text)
{
    FormFields fields;
    while (!text.empty()) {
        const std::size_t end = text.find('&');
        const std::string_view pair = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (pair.empty())
            continue;
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            fields.emplace_back(decoded(pair), std::string());
        else
            fields.emplace_back(decoded(pair.substr(0, equals)), decoded(pair.substr(equals + 1)));
    }
    return fields;
}

} // namespace quillfern::server::http

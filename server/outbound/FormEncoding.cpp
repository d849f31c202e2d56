#include "server/outbound/FormEncoding.h"

#include <QByteArray>

namespace quillfern::server::outbound {

std::string percentEncode(std::string_view text)
{
    // Qt leaves exactly the unreserved characters as they are and writes upper-case hex digits.
    return QByteArray(text.data(), qsizetype(text.size())).toPercentEncoding().toStdString();
}

std::string encodeFields(const FormFields &fields)
{
    std::string encoded;
    for (const auto &[name, value] : fields) {
        if (!encoded.empty())
            encoded.push_back('&');
        encoded += percentEncode(name) + '=' + percentEncode(value);
    }
    return encoded;
}

} // namespace quillfern::server::outbound

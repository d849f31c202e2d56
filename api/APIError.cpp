#include "api/APIError.h"

namespace quillfern {

PortfolioAPIError PortfolioAPIError::server(int status, QString message)
{
    return PortfolioAPIError{Case::Server, status, std::move(message), {}, {}};
}

PortfolioAPIError PortfolioAPIError::invalidResponse()
{
    return PortfolioAPIError{Case::InvalidResponse, 0, {}, {}, {}};
}

QString PortfolioAPIError::description() const
{
    if (kind == Case::Server)
        return message;
    return QStringLiteral("The portfolio server returned an unreadable response.");
}

QString DecodingError::description() const
{
    const QString where = path.isEmpty() ? QStringLiteral("the response") : QLatin1Char('"') + path + QLatin1Char('"');
    switch (reason) {
    case Reason::NotJSON:
        return QStringLiteral("The data couldn't be read because it isn't valid JSON (%1).").arg(detail);
    case Reason::DuplicateKey:
        return QStringLiteral("The data couldn't be read because %1 is given twice.").arg(where);
    case Reason::Missing:
        return QStringLiteral("The data couldn't be read because %1 is missing.").arg(where);
    case Reason::Null:
        return QStringLiteral("The data couldn't be read because %1 is null.").arg(where);
    case Reason::WrongType:
        return QStringLiteral("The data couldn't be read because %1 is not %2.").arg(where, detail);
    }
    return QStringLiteral("The data couldn't be read.");
}

QString EncodingError::description() const
{
    return QStringLiteral("The data couldn't be written because \"%1\" is not a finite number.").arg(path);
}

} // namespace quillfern

#include "api/APIFailure.h"

namespace quillfern {

QString TransportError::description() const
{
    switch (kind) {
    case Kind::TimedOut:
        return QStringLiteral("The request timed out.");
    case Kind::Cancelled:
        return QStringLiteral("cancelled");
    case Kind::Failed:
        break;
    }
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("Could not connect to the server.");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("The network connection was lost.");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("A secure connection to the server could not be made.");
    default:
        return message.isEmpty() ? QStringLiteral("The request could not be completed.") : message;
    }
}

QString APIFailure::description() const
{
    return std::visit([](const auto &error) { return error.description(); }, reason);
}

bool APIFailure::isCancelled() const
{
    const auto *transport = std::get_if<TransportError>(&reason);
    return transport && transport->kind == TransportError::Kind::Cancelled;
}

} // namespace quillfern

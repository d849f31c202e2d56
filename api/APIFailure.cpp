#include "api/APIFailure.h"

#include <QNetworkRequest>

namespace quillfern {
namespace {

// The codes the network stack derives from the status line alone; every other code is trouble in transit.
bool mirrorsStatus(QNetworkReply::NetworkError code)
{
    return (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError) ||
           (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError) ||
           code == QNetworkReply::ProtocolInvalidOperationError;
}

} // namespace

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

std::optional<TransportError> transportFailure(const QNetworkReply &reply, bool cancelledByCaller)
{
    using Kind = TransportError::Kind;
    const QNetworkReply::NetworkError code = reply.error();
    if (code == QNetworkReply::NoError)
        return std::nullopt;
    if (code == QNetworkReply::OperationCanceledError)
        return TransportError{cancelledByCaller ? Kind::Cancelled : Kind::TimedOut, code, reply.errorString()};
    if (mirrorsStatus(code) && reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        // A refusal whose body was cut off: the network stack may report the status rather than the lost
        // connection, depending on which it met first. Fewer bytes than announced is the lost connection.
        // A compressed body's length counts the bytes before inflating, so only a plain one is compared.
        const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
        if (!length.isValid() || reply.hasRawHeader("Content-Encoding") || reply.bytesAvailable() >= length.toLongLong())
            return std::nullopt;
        return TransportError{Kind::Failed, QNetworkReply::RemoteHostClosedError, reply.errorString()};
    }
    return TransportError{Kind::Failed, code, reply.errorString()};
}

} // namespace quillfern

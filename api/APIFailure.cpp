#include "api/APIFailure.h"

#include "text/Localization.h"

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

// The wire records' own descriptions are English, for the service's answers; the user reads these.
QString describe(const PortfolioAPIError &error)
{
    if (error.kind == PortfolioAPIError::Case::Server)
        return error.message;
    return AppText::text(u"unreadableResponse");
}

QString describe(const TransportError &error)
{
    return error.description();
}

QString typeName(const QString &detail)
{
    static const QHash<QString, QString> keys{
        {QStringLiteral("a string"), QStringLiteral("dataTypeString")},
        {QStringLiteral("a number"), QStringLiteral("dataTypeNumber")},
        {QStringLiteral("a boolean"), QStringLiteral("dataTypeBoolean")},
        {QStringLiteral("an object"), QStringLiteral("dataTypeObject")},
        {QStringLiteral("an array"), QStringLiteral("dataTypeArray")},
    };
    const auto key = keys.constFind(detail);
    return key == keys.cend() ? detail : AppText::text(*key);
}

QString describe(const DecodingError &error)
{
    using Reason = DecodingError::Reason;
    const QString where =
        error.path.isEmpty() ? AppText::text(u"dataWholeResponse") : QLatin1Char('"') + error.path + QLatin1Char('"');
    switch (error.reason) {
    case Reason::NotJSON:
        return AppText::text(u"dataNotJSON", {error.detail});
    case Reason::DuplicateKey:
        return AppText::text(u"dataGivenTwice", {where});
    case Reason::Missing:
        return AppText::text(u"dataMissing", {where});
    case Reason::Null:
        return AppText::text(u"dataNull", {where});
    case Reason::WrongType:
        return AppText::text(u"dataWrongType", {where, typeName(error.detail)});
    }
    return AppText::text(u"dataUnreadable");
}

QString describe(const EncodingError &error)
{
    return AppText::text(u"dataNotWritable", {error.path});
}

} // namespace

QString TransportError::description() const
{
    switch (kind) {
    case Kind::TimedOut:
        return AppText::text(u"requestTimedOut");
    case Kind::Cancelled:
        return AppText::text(u"requestCancelled");
    case Kind::NotSent:
        return message;
    case Kind::Failed:
        break;
    }
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::RemoteHostClosedError:
        return AppText::text(u"serverUnreachable");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return AppText::text(u"connectionLost");
    case QNetworkReply::SslHandshakeFailedError:
        return AppText::text(u"secureConnectionFailed");
    default:
        // The network stack's own words are English; the other languages say what happened around them.
        return message.isEmpty() ? AppText::text(u"requestNotCompleted")
                                 : AppText::text(u"requestNotCompletedBecause", {message});
    }
}

QString APIFailure::description() const
{
    return std::visit([](const auto &error) { return describe(error); }, reason);
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
        if (!length.isValid() || reply.hasRawHeader("Content-Encoding") ||
            reply.bytesAvailable() >= length.toLongLong())
            return std::nullopt;
        return TransportError{Kind::Failed, QNetworkReply::RemoteHostClosedError, reply.errorString()};
    }
    return TransportError{Kind::Failed, code, reply.errorString()};
}

} // namespace quillfern

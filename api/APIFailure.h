#pragma once

#include "api/APIError.h"
#include "core/Result.h"

#include <QNetworkReply>
#include <QString>

#include <optional>
#include <variant>

namespace quillfern {

// A request that never got an HTTP answer: no connection, a timeout, a caller that gave up, or a request
// refused before it was sent.
struct TransportError {
    enum class Kind { Failed, TimedOut, Cancelled, NotSent };

    Kind kind = Kind::Failed;
    QNetworkReply::NetworkError code = QNetworkReply::UnknownNetworkError;
    // Failed: the network stack's own text, used for failures without a sentence of ours. NotSent: why, in
    // the language the window spoke when the request was refused.
    QString message;

    QString description() const;
};

// Everything a service call can fail with. description() is the text to show the user, in the window's
// current language (AppText::text); the service's own explanations pass through in its words.
struct APIFailure {
    std::variant<PortfolioAPIError, TransportError, DecodingError, EncodingError> reason;

    APIFailure(PortfolioAPIError error) : reason(std::move(error)) {}
    APIFailure(TransportError error) : reason(std::move(error)) {}
    APIFailure(DecodingError error) : reason(std::move(error)) {}
    APIFailure(EncodingError error) : reason(std::move(error)) {}

    QString description() const;
    bool isCancelled() const;
    // The service's refusal, when that is what this is.
    const PortfolioAPIError *apiError() const { return std::get_if<PortfolioAPIError>(&reason); }
};

template <class T> using APIResult = Result<T, APIFailure>;

// How a finished reply failed in transit, or nothing when it holds an HTTP answer to read. A status line is
// not enough: a connection that broke or stalled after it leaves the body incomplete. Only the codes that
// merely mirror the status (ContentNotFoundError for a 404 and the like) defer to the status and body.
// cancelledByCaller tells the caller's cancel from the transfer timeout, which aborts with the same code.
std::optional<TransportError> transportFailure(const QNetworkReply &reply, bool cancelledByCaller);

} // namespace quillfern

#pragma once

#include "core/Result.h"

#include <QString>

#include <optional>

namespace quillfern::server {

// Why a store operation did not happen. message is a sentence for the client; Unavailable hides the
// database's own text, which goes to the log instead.
struct StoreError {
    // PreconditionFailed: the stored version is not one the request was made on (412). Unprocessable: the
    // request repeats a key that stands for a different request (422).
    enum class Kind { BadRequest, Unauthorized, NotFound, PreconditionFailed, Unprocessable, Unavailable };

    Kind kind = Kind::Unavailable;
    QString message;
    std::optional<QString> field; // the request's field at fault, on the wire's spelling
    std::optional<int> row;       // in a request of many records, the index of the one at fault

    static StoreError unavailable(const QString &logged);
};

template <class T>
using StoreResult = Result<T, StoreError>;
using StoreOutcome = std::optional<StoreError>;

} // namespace quillfern::server

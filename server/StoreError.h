#pragma once

#include "core/Result.h"

#include <QString>

#include <optional>

namespace quillfern::server {

// Why a store operation did not happen. message is a sentence for the client; Unavailable hides the
// database's own text, which goes to the log instead.
struct StoreError {
    enum class Kind { BadRequest, Unauthorized, NotFound, Unavailable };

    Kind kind = Kind::Unavailable;
    QString message;

    static StoreError unavailable(const QString &logged);
};

template <class T>
using StoreResult = Result<T, StoreError>;
using StoreOutcome = std::optional<StoreError>;

} // namespace quillfern::server

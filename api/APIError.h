#pragma once

#include <QString>

#include <optional>

namespace quillfern {

// What the portfolio service answered when it refused a request, or that its answer was not HTTP.
// The descriptions here are English, as the service writes its answers; the app shows
// APIFailure::description(), which speaks the user's language.
struct PortfolioAPIError {
    enum class Case { Server, InvalidResponse };

    Case kind = Case::InvalidResponse;
    int status = 0;
    QString message;
    std::optional<QString> field; // the request's field the service named at fault
    std::optional<int> row;       // in a request of many records, the index of the one at fault

    static PortfolioAPIError server(int status, QString message);
    static PortfolioAPIError invalidResponse();

    QString description() const;
    bool operator==(const PortfolioAPIError &) const = default;
};

// A body that is not JSON, gives a key twice, or breaks the presence and type rules of the record it should
// hold. path names the offending field the way it appears on the wire, such as "holdings[2].fx_to_usd".
struct DecodingError {
    enum class Reason { NotJSON, DuplicateKey, Missing, Null, WrongType };

    Reason reason = Reason::NotJSON;
    QString path;
    QString detail; // the expected type, or what the reader found wrong and where

    QString description() const;
};

// A record that cannot be written as JSON, such as a price that is not a finite number.
struct EncodingError {
    QString path;

    QString description() const;
};

} // namespace quillfern

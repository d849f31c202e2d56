#include "server/PostgresStatement.h"

#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

namespace quillfern::server {
namespace {

PGconn *clientHandle(QSqlDatabase &connection)
{
    if (!connection.isOpen() || !connection.driver())
        return nullptr;
    const QVariant handle = connection.driver()->handle();
    // The driver hands its connection out as a PGconn*, which the type system knows as struct pg_conn.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

struct ResultDeleter {
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

} // namespace

std::optional<PostgresStatement::Rows> PostgresStatement::run(QSqlDatabase connection, const char *name,
                                                              const QByteArray &sql,
                                                              const std::vector<QByteArray> &parameters,
                                                              QString &error)
{
    PGconn *client = clientHandle(connection);
    if (!client || PQstatus(client) != CONNECTION_OK) {
        error = QStringLiteral("the database connection is not open");
        return std::nullopt;
    }
    // What this thread prepared, by connection. A connection opened again may come back at the same address
    // without the statements, so a statement the server does not know is prepared again, once.
    thread_local std::set<std::pair<PGconn *, std::string>> prepared;
    const auto key = std::make_pair(client, std::string(name));
    std::vector<const char *> values;
    values.reserve(parameters.size());
    for (const QByteArray &parameter : parameters)
        values.push_back(parameter.constData());
    Result result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!prepared.contains(key)) {
            const Result made(PQprepare(client, name, sql.constData(), int(parameters.size()), nullptr));
            const char *state = PQresultErrorField(made.get(), PG_DIAG_SQLSTATE);
            const bool alreadyThere = state && qstrcmp(state, "42P05") == 0;
            if (PQresultStatus(made.get()) != PGRES_COMMAND_OK && !alreadyThere) {
                error = QString::fromUtf8(PQerrorMessage(client)).trimmed();
                return std::nullopt;
            }
            prepared.insert(key);
        }
        result.reset(PQexecPrepared(client, name, int(values.size()), values.data(), nullptr, nullptr, 0));
        const char *state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        if (PQresultStatus(result.get()) == PGRES_TUPLES_OK || !state || qstrcmp(state, "26000") != 0)
            break;
        prepared.erase(key);
    }
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        error = QString::fromUtf8(PQerrorMessage(client)).trimmed();
        return std::nullopt;
    }
    const int rowCount = PQntuples(result.get());
    const int columns = PQnfields(result.get());
    Rows rows(std::size_t(std::max(rowCount, 0)));
    for (int row = 0; row < rowCount; ++row) {
        rows[std::size_t(row)].reserve(std::size_t(columns));
        for (int column = 0; column < columns; ++column)
            rows[std::size_t(row)].emplace_back(PQgetvalue(result.get(), row, column),
                                                PQgetlength(result.get(), row, column));
    }
    return rows;
}

} // namespace quillfern::server

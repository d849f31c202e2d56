#include "server/PostgresStatement.h"

#include "server/Database.h"

#include <libpq-fe.h>

#include <memory>
#include <set>
#include <string>

namespace quillfern::server {
namespace {

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
    // Hot queries are reads, so one that finds the connection lost simply runs again on a new one.
    auto rows = runOnce(connection, name, sql, parameters, error);
    if (!rows && connectionLost(connection) && reopenLost(connection)) {
        error.clear();
        rows = runOnce(connection, name, sql, parameters, error);
    }
    return rows;
}

std::optional<PostgresStatement::Rows> PostgresStatement::runOnce(QSqlDatabase &connection, const char *name,
                                                                  const QByteArray &sql,
                                                                  const std::vector<QByteArray> &parameters,
                                                                  QString &error)
{
    PGconn *client = postgresHandle(connection);
    if (!connection.isOpen() || !client || PQstatus(client) != CONNECTION_OK) {
        error = QStringLiteral("the database connection is not open");
        return std::nullopt;
    }
    // What this thread prepared on this connection, forgotten when the connection is opened again.
    std::set<std::string> &prepared = preparedStatementNames(connection);
    const std::string key(name);
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

#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

namespace quillfern::server {

// A hot query run with the extended protocol on the client handle of a QPSQL connection, which
// QSqlDriver::handle() hands out for this. The Qt driver sends each execution of a prepared statement as
// the text "EXECUTE name ('...')", which the server parses again every time; bound executions cost it
// less than half the time. Prepared once per connection under its name; parameters and results as text.
// Only for reads: one that finds its connection lost runs again on a new one.
class PostgresStatement {
public:
    using Rows = std::vector<std::vector<QByteArray>>;

    // The rows, or nothing with error set. sql uses $1, $2, ... for the parameters.
    static std::optional<Rows> run(QSqlDatabase connection, const char *name, const QByteArray &sql,
                                   const std::vector<QByteArray> &parameters, QString &error);

private:
    static std::optional<Rows> runOnce(QSqlDatabase &connection, const char *name, const QByteArray &sql,
                                       const std::vector<QByteArray> &parameters, QString &error);
};

} // namespace quillfern::server

#pragma once

#include <QString>

#include <optional>

namespace quillfern::server {

class Database;

// The schema's versions, applied in order, each in its own transaction; the reason when one fails.
// Safe when several replicas start at once against one PostgreSQL (they queue on an advisory lock).
std::optional<QString> applyMigrations(Database &database);

// The newest schema version this build knows.
int latestSchemaVersion();

} // namespace quillfern::server

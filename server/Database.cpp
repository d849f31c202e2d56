#include "server/Database.h"

#include "server/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <unordered_map>

namespace quillfern::server {

std::variant<DatabaseConfig, QString> parseDatabaseURL(const QString &url)
{
    DatabaseConfig config;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        config.dialect = Dialect::SQLite;
        config.path = url.mid(7);
        if (config.path.startsWith(QLatin1String("//")))
            config.path = config.path.mid(2);
        if (config.path.isEmpty())
            return QStringLiteral("A sqlite: database needs a file path, as in sqlite:/var/lib/quillfern/db.sqlite3.");
        return config;
    }
    if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://"))) {
        const QUrl parsed(url, QUrl::StrictMode);
        if (!parsed.isValid() || parsed.host().isEmpty() || parsed.path().size() < 2)
            return QStringLiteral("A PostgreSQL database is written postgresql://USER@HOST:PORT/DB.");
        config.dialect = Dialect::PostgreSQL;
        config.host = parsed.host();
        config.port = parsed.port(5432);
        config.user = parsed.userName();
        config.password = parsed.password();
        config.name = parsed.path().mid(1);
        return config;
    }
    return QStringLiteral("The database must be sqlite:PATH or postgresql://USER@HOST:PORT/DB.");
}

Database::Database(DatabaseConfig config)
    : m_config(std::move(config)), m_connectionPrefix(QUuid::createUuid().toString(QUuid::Id128))
{
}

Database::~Database()
{
    {
        std::lock_guard lock(m_checkpointMutex);
        m_stopping = true;
    }
    m_checkpointWake.notify_all();
    if (m_checkpointer.joinable())
        m_checkpointer.join();
}

void Database::startCheckpointer()
{
    if (m_config.dialect != Dialect::SQLite || m_checkpointer.joinable())
        return;
    m_backgroundCheckpoints = true;
    m_checkpointer = std::thread([this] {
        std::unique_lock lock(m_checkpointMutex);
        while (!m_stopping) {
            m_checkpointWake.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_stopping; });
            lock.unlock();
            QSqlDatabase database = connection();
            QSqlQuery checkpoint(database);
            if (database.isOpen() && !checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")))
                qWarning("database: checkpoint failed: %s", qPrintable(checkpoint.lastError().text()));
            checkpoint.finish();
            lock.lock();
        }
    });
}

QSqlDatabase Database::connection()
{
    const QString name =
        m_connectionPrefix + QLatin1Char('-') + QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()));
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase existing = QSqlDatabase::database(name, false);
        if (existing.isOpen())
            return existing;
        if (existing.open())
            return existing;
        return existing;
    }

    QSqlDatabase database;
    if (m_config.dialect == Dialect::SQLite) {
        QDir().mkpath(QFileInfo(m_config.path).absolutePath());
        database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(m_config.path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    } else {
        database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        database.setHostName(m_config.host);
        database.setPort(m_config.port);
        database.setUserName(m_config.user);
        database.setPassword(m_config.password);
        database.setDatabaseName(m_config.name);
        database.setConnectOptions(QStringLiteral("connect_timeout=5"));
    }
    if (!database.open()) {
        qWarning("database: cannot open: %s", qPrintable(database.lastError().text()));
        return database;
    }
    if (m_config.dialect == Dialect::SQLite) {
        QStringList pragmas{QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=FULL"),
                            QStringLiteral("PRAGMA foreign_keys=ON")};
        if (m_backgroundCheckpoints)
            pragmas.append(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        for (const QString &pragma : pragmas) {
            QSqlQuery query(database);
            if (!query.exec(pragma))
                qWarning("database: %s failed: %s", qPrintable(pragma), qPrintable(query.lastError().text()));
        }
    }
    return database;
}

std::optional<QString> Database::migrate()
{
    QSqlDatabase database = connection();
    if (!database.isOpen())
        return QStringLiteral("Cannot open the database: ") + database.lastError().text();
    return applyMigrations(*this);
}

QVariant bindable(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QVariant(QString(QLatin1String("")));
    return value;
}

namespace {

struct CachedQuery {
    QSqlQuery query;
    bool busy = false;
};

std::unordered_map<QString, CachedQuery> &statementCache()
{
    thread_local std::unordered_map<QString, CachedQuery> cache;
    return cache;
}

} // namespace

template <class Values>
void Statement::run(QSqlDatabase &database, const QString &sql, const Values &values)
{
    auto &cache = statementCache();
    const QString key = database.connectionName() + QLatin1Char('\n') + sql;
    auto found = cache.find(key);
    if (found == cache.end()) {
        CachedQuery fresh{QSqlQuery(database)};
        fresh.query.setForwardOnly(true);
        if (fresh.query.prepare(sql))
            found = cache.emplace(key, std::move(fresh)).first;
    }
    if (found != cache.end() && !found->second.busy) {
        m_query = &found->second.query;
        m_busy = &found->second.busy;
        *m_busy = true;
    } else {
        m_own.emplace(database);
        m_own->setForwardOnly(true);
        m_query = &*m_own;
        if (!m_query->prepare(sql))
            return;
    }
    for (const QVariant &value : values)
        m_query->addBindValue(bindable(value));
    m_ok = m_query->exec();
}

Statement::Statement(QSqlDatabase database, const QString &sql, std::initializer_list<QVariant> values)
{
    run(database, sql, values);
}

Statement::Statement(QSqlDatabase database, const QString &sql, const QVariantList &values)
{
    run(database, sql, values);
}

Statement::~Statement()
{
    // An unfinished SELECT would keep its read snapshot, and on SQLite hold back checkpoints.
    if (m_query)
        m_query->finish();
    if (m_busy)
        *m_busy = false;
}

QString Statement::error() const { return m_query ? m_query->lastError().text() : QStringLiteral("not prepared"); }

WriteTransaction::WriteTransaction(Database &database)
    : m_writer(database.writerLock(), std::defer_lock), m_connection(database.connection())
{
    if (database.dialect() == Dialect::SQLite)
        m_writer.lock();
    if (!m_connection.isOpen())
        return;
    QSqlQuery begin(m_connection);
    m_begun = begin.exec(database.dialect() == Dialect::SQLite ? QStringLiteral("BEGIN IMMEDIATE")
                                                               : QStringLiteral("BEGIN"));
    if (!m_begun)
        qWarning("database: cannot begin a transaction: %s", qPrintable(begin.lastError().text()));
}

WriteTransaction::~WriteTransaction()
{
    if (m_begun && !m_done) {
        QSqlQuery rollback(m_connection);
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
}

bool WriteTransaction::commit()
{
    if (!m_begun || m_done)
        return false;
    QSqlQuery commit(m_connection);
    m_done = commit.exec(QStringLiteral("COMMIT"));
    if (!m_done)
        qWarning("database: commit failed: %s", qPrintable(commit.lastError().text()));
    return m_done;
}

} // namespace quillfern::server

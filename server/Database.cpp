#include "server/Database.h"

#include "server/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>
#include <QStringDecoder>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <libpq-fe.h>
#include <poll.h>

#include <memory>
#include <unordered_map>

namespace quillfern::server {

// What a thread keeps for one of its connections: the statements prepared on it, which go with it when it
// is opened again, and how much is using it right now, which says whether it may be.
struct ConnectionUse {
    ~ConnectionUse();

    struct CachedQuery {
        QSqlQuery query;
        bool busy = false;
    };
    std::unordered_map<QString, std::unique_ptr<CachedQuery>> statements;
    std::set<std::string> preparedNames;
    int liveStatements = 0;
    bool inTransaction = false;
};

namespace {

ConnectionUse &connectionUse(const QSqlDatabase &connection)
{
    thread_local std::unordered_map<QString, ConnectionUse> uses;
    return uses[connection.connectionName()];
}

// Dropping a statement prepared on a lost connection makes the driver try to deallocate it on the server
// and warn, once per statement, that it cannot; those warnings say nothing the reopening does not.
thread_local bool droppingLostStatements = false;
QtMessageHandler earlierMessageHandler = nullptr;

void quietWhileDropping(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!droppingLostStatements)
        earlierMessageHandler(type, context, message);
}

} // namespace

ConnectionUse::~ConnectionUse()
{
    // At a thread's end; a connection lost without the thread noticing cannot deallocate anything either.
    droppingLostStatements = true;
    statements.clear();
    droppingLostStatements = false;
}

PGconn *postgresHandle(const QSqlDatabase &connection)
{
    if (!connection.driver() || connection.driverName() != QLatin1String("QPSQL"))
        return nullptr;
    const QVariant handle = connection.driver()->handle();
    // The driver hands its connection out as a PGconn*, which the type system knows as struct pg_conn.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

bool connectionLost(const QSqlDatabase &connection)
{
    if (connection.driverName() != QLatin1String("QPSQL"))
        return false;
    PGconn *client = postgresHandle(connection);
    if (!connection.isOpen() || !client || PQstatus(client) != CONNECTION_OK)
        return true;
    // A server that stops closes its idle connections; the end of stream waits unread on the socket.
    pollfd socket{PQsocket(client), POLLRDHUP, 0};
    return poll(&socket, 1, 0) > 0 && (socket.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

bool reopenLost(QSqlDatabase connection)
{
    ConnectionUse &use = connectionUse(connection);
    if (use.liveStatements > 0 || use.inTransaction)
        return false;
    droppingLostStatements = true;
    use.statements.clear();
    use.preparedNames.clear();
    connection.close();
    droppingLostStatements = false;
    return connection.open();
}

std::set<std::string> &preparedStatementNames(const QSqlDatabase &connection)
{
    return connectionUse(connection).preparedNames;
}

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
    static std::once_flag installed;
    if (m_config.dialect == Dialect::PostgreSQL)
        std::call_once(installed, [] { earlierMessageHandler = qInstallMessageHandler(quietWhileDropping); });
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
        if (m_config.dialect == Dialect::PostgreSQL) {
            if (connectionLost(existing))
                reopenLost(existing);
        } else if (!existing.isOpen()) {
            existing.open();
        }
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
        // SQLite starts the WAL over only when a write begins on a fully checkpointed WAL that no reader is still
        // in. Checkpoints on the background thread alone never get there under steady saves, since another save
        // commits while each one runs, and the WAL grew with every save. Once the WAL passes 1000 pages, each
        // commit checkpoints it while still holding the writer lock, so no save commits in between and the next
        // write starts the WAL over; the background thread has copied most pages by then. The size limit gives
        // back what a burst made the file grow to.
        const QStringList pragmas{QStringLiteral("PRAGMA journal_mode=WAL"), QStringLiteral("PRAGMA synchronous=FULL"),
                                  QStringLiteral("PRAGMA foreign_keys=ON"),
                                  QStringLiteral("PRAGMA wal_autocheckpoint=1000"),
                                  QStringLiteral("PRAGMA journal_size_limit=4194304")};
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

QVariant bindable(const QVariant &value, bool sqlite)
{
    if (value.typeId() != QMetaType::QString)
        return value;
    const QString text = value.toString();
    if (text.isNull())
        return QVariant(QString(QLatin1String("")));
    if (sqlite && (text.startsWith(QChar(0xFEFF)) || text.startsWith(QChar(0xFFFE))))
        return QVariant(QChar(0xFEFF) + text);
    return value;
}

template <class Values>
void Statement::run(QSqlDatabase &database, const QString &sql, const Values &values)
{
    m_use = &connectionUse(database);
    ++m_use->liveStatements;
    execute(database, sql, values);
    // Only a read may simply run again: a write outside a transaction may have committed before the
    // connection went.
    if (m_ok || m_use->inTransaction || !connectionLost(database) ||
        !sql.trimmed().startsWith(QLatin1String("SELECT"), Qt::CaseInsensitive))
        return;
    release();
    --m_use->liveStatements;
    const bool reopened = reopenLost(database);
    ++m_use->liveStatements;
    if (reopened)
        execute(database, sql, values);
}

template <class Values>
void Statement::execute(QSqlDatabase &database, const QString &sql, const Values &values)
{
    auto &cache = m_use->statements;
    auto found = cache.find(sql);
    if (found == cache.end()) {
        auto fresh = std::make_unique<ConnectionUse::CachedQuery>(ConnectionUse::CachedQuery{QSqlQuery(database)});
        fresh->query.setForwardOnly(true);
        if (fresh->query.prepare(sql))
            found = cache.emplace(sql, std::move(fresh)).first;
    }
    if (found != cache.end() && !found->second->busy) {
        m_query = &found->second->query;
        m_busy = &found->second->busy;
        *m_busy = true;
    } else {
        m_own.emplace(database);
        m_own->setForwardOnly(true);
        m_query = &*m_own;
        if (!m_query->prepare(sql))
            return;
    }
    const bool sqlite = database.driverName() == QLatin1String("QSQLITE");
    for (const QVariant &value : values)
        m_query->addBindValue(bindable(value, sqlite));
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

QString Statement::text(int column) const
{
    // The driver hands its result out as a PGresult*, which the type system knows as struct pg_result.
    const QVariant handle = m_query->result() ? m_query->result()->handle() : QVariant();
    if (handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGresult*") == 0 || qstrcmp(handle.typeName(), "pg_result*") == 0)) {
        const PGresult *result = *static_cast<PGresult *const *>(handle.constData());
        // A forward-only query holds one row at a time; any other holds every row.
        const int row = result && PQntuples(result) == 1 ? 0 : m_query->at();
        if (result && row >= 0 && row < PQntuples(result) && column >= 0 && column < PQnfields(result) &&
            !PQgetisnull(result, row, column)) {
            const QByteArrayView bytes(PQgetvalue(result, row, column), PQgetlength(result, row, column));
            if (bytes.startsWith("\xef\xbb\xbf"))
                return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(bytes);
        }
    }
    return m_query->value(column).toString();
}

void Statement::release()
{
    // An unfinished SELECT would keep its read snapshot, and on SQLite hold back checkpoints.
    if (m_query)
        m_query->finish();
    if (m_busy)
        *m_busy = false;
    m_query = nullptr;
    m_busy = nullptr;
    droppingLostStatements = !m_ok;
    m_own.reset();
    droppingLostStatements = false;
}

Statement::~Statement()
{
    release();
    --m_use->liveStatements;
}

QString Statement::error() const { return m_query ? m_query->lastError().text() : QStringLiteral("not prepared"); }

WriteTransaction::WriteTransaction(Database &database)
    : m_writer(database.writerLock(), std::defer_lock), m_connection(database.connection())
{
    if (database.dialect() == Dialect::SQLite)
        m_writer.lock();
    if (!m_connection.isOpen())
        return;
    const QString sql =
        database.dialect() == Dialect::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    auto begin = std::make_optional<QSqlQuery>(m_connection);
    m_begun = begin->exec(sql);
    if (!m_begun && server::connectionLost(m_connection)) {
        begin.reset();
        if (reopenLost(m_connection)) {
            begin.emplace(m_connection);
            m_begun = begin->exec(sql);
        }
    }
    if (!m_begun) {
        qWarning("database: cannot begin a transaction: %s",
                 begin ? qPrintable(begin->lastError().text()) : "the connection was lost");
        return;
    }
    m_use = &connectionUse(m_connection);
    m_use->inTransaction = true;
}

WriteTransaction::~WriteTransaction()
{
    if (m_begun && !m_done) {
        QSqlQuery rollback(m_connection);
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
    end();
}

void WriteTransaction::end()
{
    if (m_use)
        m_use->inTransaction = false;
    m_use = nullptr;
}

bool WriteTransaction::commit()
{
    if (!m_begun || m_done)
        return false;
    QSqlQuery commit(m_connection);
    m_done = commit.exec(QStringLiteral("COMMIT"));
    if (m_done)
        end();
    else
        qWarning("database: commit failed: %s", qPrintable(commit.lastError().text()));
    return m_done;
}

} // namespace quillfern::server

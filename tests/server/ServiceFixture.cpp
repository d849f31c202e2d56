#include "tests/server/ServiceFixture.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace quillfern::servicetest {

bool ServiceFixture::startService(QStringList extraArguments)
{
    m_service = std::make_unique<testing::ServiceProcess>(
        m_databaseURL, QStringList{QStringLiteral("--quiet"), QStringLiteral("--clock-offset-file"),
                                   m_folder->filePath(QStringLiteral("clock"))} +
                           extraArguments);
    const bool started = m_service->start();
    if (!started)
        qWarning("service did not start: %s", qPrintable(m_service->output()));
    return started;
}

void ServiceFixture::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    if (onPostgreSQL()) {
        m_databaseURL = QString::fromLocal8Bit(qgetenv("QUILLFERN_TEST_POSTGRES_URL"));
        if (m_databaseURL.isEmpty())
            QSKIP("QUILLFERN_TEST_POSTGRES_URL is not set");
        // Each suite gets a database of its own, so suites can run side by side on one cluster.
        QUrl url(m_databaseURL);
        const QString own = QStringLiteral("qf_") + QCoreApplication::applicationName().toLower();
        {
            QSqlDatabase cluster = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("cluster"));
            cluster.setHostName(url.host());
            cluster.setPort(url.port(5432));
            cluster.setUserName(url.userName());
            cluster.setDatabaseName(url.path().mid(1));
            QVERIFY2(cluster.open(), "cannot reach the test PostgreSQL");
            QSqlQuery(cluster).exec(QStringLiteral("CREATE DATABASE ") + own); // fails harmlessly when it exists
            cluster.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("cluster"));
        url.setPath(QLatin1Char('/') + own);
        m_databaseURL = url.toString();
        {
            QSqlDatabase reset = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("reset"));
            reset.setHostName(url.host());
            reset.setPort(url.port(5432));
            reset.setUserName(url.userName());
            reset.setDatabaseName(own);
            QVERIFY2(reset.open(), "cannot reach the suite's PostgreSQL database");
            QSqlQuery(reset).exec(QStringLiteral("SET client_min_messages TO warning")); // no cascade notices
            QSqlQuery(reset).exec(QStringLiteral("DROP SCHEMA public CASCADE"));
            QSqlQuery(reset).exec(QStringLiteral("CREATE SCHEMA public"));
            reset.close();
        }
    } else {
        m_databaseURL = QStringLiteral("sqlite:") + m_folder->filePath(QStringLiteral("service.sqlite3"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reset"));
    m_network = std::make_unique<QNetworkAccessManager>();
    QVERIFY(startService());
}

void ServiceFixture::cleanup()
{
    m_network.reset();
    m_service.reset();
    m_folder.reset();
}

} // namespace quillfern::servicetest

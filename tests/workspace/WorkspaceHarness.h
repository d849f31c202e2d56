#pragma once

// One window's worth of workspace for a test: preferences in a temporary folder, a session restored from
// them or signed in through a sheet, and the edit trace kept inside the folder.

#include "app/workspace/EditDebugLog.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "tests/support/ScriptedServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace quillfern::testing {

class WorkspaceHarness {
public:
    WorkspaceHarness() { EditDebugLog::setPath(folder.filePath(QStringLiteral("edit.log"))); }

    QString settingsPath() const { return folder.filePath(QStringLiteral("Quillfern.conf")); }
    std::unique_ptr<QSettings> preferences() const
    {
        return std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    }

    // A session restored from the preferences, holding token, or none when token is empty.
    void open(const QUrl &service, const QString &token = {}, WebAuthenticationSessionFactory sheets = {})
    {
        if (!token.isEmpty()) {
            auto stored = preferences();
            stored->setValue(AuthManager::accessTokenKey, token);
            stored->setValue(AuthManager::userKey, encodeStoredUser(AuthenticatedUser{QStringLiteral("Ann"), {}, {}}));
        }
        const APIEndpoint endpoint{service, &network};
        workspace.reset();
        auth = std::make_unique<AuthManager>(endpoint, std::move(sheets), preferences());
        workspace = std::make_unique<Workspace>(*auth, endpoint, preferences());
        if (!localCopyFolder.isEmpty())
            workspace->setLocalCopyFolder(localCopyFolder);
    }

    // Starts the session task and waits until its load chain has run to its end, and with it the first load
    // of the performance, so that the requests a test counts afterwards are its own.
    bool startAndLoad(int milliseconds = 10000)
    {
        QSignalSpy loaded(workspace.get(), &Workspace::sessionLoaded);
        workspace->start();
        return (loaded.count() > 0 || loaded.wait(milliseconds)) &&
               QTest::qWaitFor([this] { return !workspace->performance().isLoading(); }, milliseconds);
    }

    // Waits until nothing is pending or in flight and the service's copy matches the working copy.
    bool waitForSync(int milliseconds = 10000)
    {
        return QTest::qWaitFor(
            [this] {
                return !workspace->hasPendingSave() && !workspace->isSavingPortfolio() &&
                       workspace->portfolioMatchesSyncedData();
            },
            milliseconds);
    }

    QTemporaryDir folder;
    // Where the window keeps its copy of the portfolio; empty keeps none.
    QString localCopyFolder;
    QNetworkAccessManager network;
    std::unique_ptr<AuthManager> auth;
    std::unique_ptr<Workspace> workspace;
};

// A holding as the service sends it.
inline QJsonObject holdingJSON(const AssetRow &row)
{
    return QJsonObject{{QStringLiteral("id"), row.id},
                       {QStringLiteral("market"), row.market},
                       {QStringLiteral("sector"), row.sector},
                       {QStringLiteral("sub_sector"), row.subSector},
                       {QStringLiteral("code"), row.code},
                       {QStringLiteral("currency"), QStringLiteral("USD")},
                       {QStringLiteral("broker"), row.broker},
                       {QStringLiteral("average_price"), row.averagePrice},
                       {QStringLiteral("quantity"), row.quantity},
                       {QStringLiteral("current_price"), row.currentPrice},
                       {QStringLiteral("fx_to_usd"), 1.0},
                       {QStringLiteral("note"), QString()}};
}

inline std::string portfolioJSON(const QList<AssetRow> &rows)
{
    QJsonArray holdings;
    for (const auto &row : rows)
        holdings.append(holdingJSON(row));
    const QJsonObject body{{QStringLiteral("holdings"), holdings}, {QStringLiteral("cash_balances"), QJsonArray()}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
}

inline AssetRow holding(const QString &id, const QString &code, double price,
                        const QString &market = QStringLiteral("US"),
                        const QString &broker = QStringLiteral("Snowball"))
{
    return AssetRow{
        id, market, QStringLiteral("Information Technology"), QStringLiteral("Semiconductors"), code, broker, 10,
        5,  price};
}

// Only the requests to path, in the order received.
inline std::vector<ScriptedServer::Received> requestsTo(const ScriptedServer &server, const std::string &path)
{
    std::vector<ScriptedServer::Received> found;
    for (auto &request : server.received()) {
        if (request.path == path)
            found.push_back(request);
    }
    return found;
}

// Scripts every list the load chain asks for, empty, the given portfolio and a performance without history.
inline void scriptSession(ScriptedServer &server, const QList<AssetRow> &rows)
{
    for (const char *path :
         {"/v1/currencies", "/v1/languages", "/v1/brokerages", "/v1/gics-classifications", "/v1/transactions"})
        server.on("GET", path, {200, "[]"});
    server.on("GET", "/v1/portfolio", {200, portfolioJSON(rows)});
    server.on("PUT", "/v1/portfolio", {200, {}, "application/json", false, {}, true});
    server.on("GET", "/v1/performance",
              {200, R"({"series":[],"gain":0,"income_by_month":[],"max_drawdown":0,"missing":[],"contributions":[]})"});
    server.on("POST", "/v1/auth/logout", {204, {}});
}

} // namespace quillfern::testing

Q_DECLARE_METATYPE(quillfern::AssetRow)

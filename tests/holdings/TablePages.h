#pragma once

// The holdings and cash pages over one signed-in workspace, loaded from a scripted service with the seeded
// lists and cash, for the tests that drive the tables. Price look-ups find no quote.

#include "app/balances/BalancePage.h"
#include "app/holdings/HoldingsPage.h"
#include "tests/balances/SeededWorkspace.h"

namespace quillfern::testing {

struct TablePages {
    // Loads the session with these holdings; false when it did not load. The test builds the pages it uses.
    bool load(const QList<AssetRow> &rows = seededHoldings())
    {
        scriptSeededSession(server);
        server.on("GET", "/v1/portfolio", {200, seededPortfolio(rows, seededCash())});
        server.on("GET", "/v1/market/stock", {404, R"({"error":"No quote."})"});
        harness.open(server.baseURL(), QStringLiteral("token-a"));
        return harness.startAndLoad();
    }

    Workspace &workspace() const { return *harness.workspace; }

    ScriptedServer server;
    WorkspaceHarness harness;
    std::unique_ptr<HoldingsPage> holdings;
    std::unique_ptr<BalancePage> balances;
};

// Shows a page at the size the table tests use; false when it never appeared.
inline bool showPage(QWidget &page)
{
    page.resize(1280, 900);
    page.show();
    return QTest::qWaitForWindowExposed(&page);
}

} // namespace quillfern::testing

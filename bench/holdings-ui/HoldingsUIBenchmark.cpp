// One cell's value changes in a table of 2,000 holdings, and one saved change is undone: how long until
// every figure is recomputed and the visible part of the page (rows, total row, statistics) is painted
// again, offscreen. Target for each: one frame at 60 Hz, 16 ms.

#include "app/holdings/HoldingsEditor.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/TotalRowView.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>

using namespace quillfern;

namespace {

struct Window {
    QTemporaryDir folder;
    std::unique_ptr<AuthManager> auth;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<HoldingsPage> page;

    explicit Window(int rows)
    {
        const QString settings = folder.filePath(QStringLiteral("Quillfern.conf"));
        const APIEndpoint nowhere{QUrl(QStringLiteral("http://127.0.0.1:9")), nullptr};
        auth = std::make_unique<AuthManager>(nowhere, WebAuthenticationSessionFactory{},
                                             std::make_unique<QSettings>(settings, QSettings::IniFormat));
        workspace =
            std::make_unique<Workspace>(*auth, nowhere, std::make_unique<QSettings>(settings, QSettings::IniFormat));
        static const char *const markets[] = {"US", "HK", "CN", "JP", "EU"};
        static const char *const brokers[] = {"Futu", "Tiger", "Snowball", "Interactive Brokers"};
        for (int i = 0; i < rows; ++i) {
            AssetRow row;
            row.id = newRowID();
            row.market = QString::fromLatin1(markets[i % 5]);
            row.broker = QString::fromLatin1(brokers[i % 4]);
            row.sector = QStringLiteral("Sector %1").arg(i % 11);
            row.code = QStringLiteral("C%1").arg(i);
            row.averagePrice = 10 + i % 97;
            row.quantity = 1 + i % 500;
            row.currentPrice = 11 + i % 89;
            workspace->insertRow(i, row);
        }
        page = std::make_unique<HoldingsPage>(*workspace);
        page->resize(1280, 900);
        page->show();
        QCoreApplication::processEvents();
    }
};

QTableView *view(const Window &window)
{
    return window.page->table()->view();
}

void BM_OneCellChange(benchmark::State &state)
{
    Window window(int(state.range(0)));
    Workspace &w = *window.workspace;
    QTableView *view = window.page->table()->view();
    const int visible = 3;
    AssetRow row = w.rows()[visible];
    int flip = 0;
    for (auto _ : state) {
        row.quantity = 100 + (++flip % 2);
        w.updateRow(row.id, row);
        // Paint now what the event loop would paint on the next frame.
        window.page->repaint();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view->model()->rowCount());
    }
    state.counters["rows"] = double(w.rows().size());
}
BENCHMARK(BM_OneCellChange)->Arg(2000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A row edited and saved through the editor, then undone: only the undo and its repaint are timed; the
// redo that sets up the next round is not.
void BM_OneUndo(benchmark::State &state)
{
    Window window(int(state.range(0)));
    Workspace &w = *window.workspace;
    HoldingsEditor &editor = window.page->editor();
    QUndoStack &stack = w.undoStack();
    const int visible = 3;
    AssetRow row = w.rows()[visible];
    editor.beginEditing(row);
    row.quantity += 1;
    w.updateRow(row.id, row);
    editor.saveEditingRow();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        stack.undo();
        window.page->repaint();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view(window)->model()->rowCount());
        state.PauseTiming();
        stack.redo();
        window.page->repaint();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = double(w.rows().size());
}
BENCHMARK(BM_OneUndo)->Arg(2000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

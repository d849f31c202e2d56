#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/charts/StatsCollapseButton.h"
#include "app/holdings/AssetColumns.h"
#include "app/holdings/HoldingsPage.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/TableStyle.h"
#include "tests/support/QuietConsole.h"
#include "tests/workspace/EditingHarness.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

using namespace quillfern;
using namespace quillfern::testing;
using namespace std::chrono_literals;

namespace {

const QString token = QStringLiteral("token-a");

std::size_t countOf(const ScriptedServer &server, const std::string &method, const std::string &path)
{
    std::size_t count = 0;
    for (const auto &request : server.received())
        count += request.method == method && request.path == path;
    return count;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void closingSendsPendingEditsAtOnce_data();
    void closingSendsPendingEditsAtOnce();
    void everyCloseIsAnswered_data();
    void everyCloseIsAnswered();
    void brokerageNames_data();
    void brokerageNames();
    void aCreatedBrokerageIsNotListedTwice();
    void bannerRetriesThePortfolio();
    void menusCheckTheSelection();
    void automaticPricesAreAKeptChoiceOfTheOpenWindow();
    void aLanguageSwitchReachesEveryText_data();
    void aLanguageSwitchReachesEveryText();
    void aDeleteByTheTrashButtonIsUndone_data();
    void aDeleteByTheTrashButtonIsUndone();

private:
    void openWindow();
    void editOneRow();
    // Answers the question about unsaved edits with the button of that text.
    void answerUnsaved(const QString &button);

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<EditingHarness> m_h;
    std::unique_ptr<MainWindow> m_window;
};

void WindowTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    m_server = std::make_unique<ScriptedServer>();
    scriptSession(*m_server, {holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)});
    m_server->on("GET", "/v1/currencies", {200, R"([
      {"code":"USD","name":"US Dollar","symbol":"$","flag":"","fx_to_usd":1},
      {"code":"HKD","name":"Hong Kong Dollar","symbol":"HK$","flag":"","fx_to_usd":0.128,"as_of":"2026-12-04"},
      {"code":"EUR","name":"Euro","symbol":"€","flag":"","fx_to_usd":1.1,"as_of":"2026-12-05"}])"});
    m_h = std::make_unique<EditingHarness>();
}

void WindowTest::cleanup()
{
    m_window.reset();
    m_h.reset();
    m_server.reset();
}

void WindowTest::openWindow()
{
    m_h->open(m_server->baseURL(), token);
    m_window = std::make_unique<MainWindow>(*m_h->workspace);
    m_window->show();
    // A restored session waits behind the loading view until its portfolio is in.
    QVERIFY(m_window->content()->loadingView()->isVisible());
    QVERIFY(!m_window->content()->tabs());
    QVERIFY(m_h->startAndLoad());
    QTRY_VERIFY(m_window->content()->tabs() && m_window->content()->tabs()->isVisible());
}

void WindowTest::editOneRow()
{
    AssetRow row = m_h->workspace->rows().first();
    row.quantity = 99;
    m_h->workspace->updateRow(row.id, row);
    m_h->workspace->schedulePortfolioSave();
    QVERIFY(m_h->workspace->hasPendingSave());
}

void WindowTest::answerUnsaved(const QString &button)
{
    QTRY_VERIFY_WITH_TIMEOUT(m_window->unsavedQuestion(), 5000);
    for (QAbstractButton *each : m_window->unsavedQuestion()->buttons())
        if (each->text() == button)
            each->click();
}

void WindowTest::closingSendsPendingEditsAtOnce_data()
{
    QTest::addColumn<bool>("edited");
    QTest::newRow("in sync") << false;
    QTest::newRow("an edit waiting for its save") << true;
}

void WindowTest::closingSendsPendingEditsAtOnce()
{
    QFETCH(bool, edited);
    openWindow();
    if (edited)
        editOneRow();
    m_window->close();
    QCOMPARE(m_window->isVisible(), edited); // held open until the service has the edit
    // The save went out at once rather than waiting for the debounce.
    QVERIFY(!m_h->workspace->hasPendingSave());
    QCOMPARE(m_h->workspace->isSavingPortfolio(), edited);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 5000);
    QCOMPARE(countOf(*m_server, "PUT", "/v1/portfolio"), std::size_t(edited ? 1 : 0));
}

void WindowTest::everyCloseIsAnswered_data()
{
    QTest::addColumn<int>("saveStatus");
    QTest::addColumn<bool>("keepsCopy");
    QTest::newRow("save succeeds") << 200 << false;
    QTest::newRow("save fails, nothing kept") << 500 << false;
    QTest::newRow("save fails, copy kept") << 500 << true;
}

void WindowTest::everyCloseIsAnswered()
{
    QFETCH(int, saveStatus);
    QFETCH(bool, keepsCopy);
    const auto answered = [this] { return !m_window->isVisible() || m_window->unsavedQuestion(); };
    const int limit = int(MainWindow::closingSaveLimit.count()) + 2000;
    // The close lands before, during and after the price answer and the save it schedules.
    for (int delay = 0; delay <= 900; delay += 60) {
        cleanup();
        init();
        m_server->on("GET", "/v1/market/stock", {200, R"({"price":191.5})", "application/json", false, 150ms});
        m_server->on("PUT", "/v1/portfolio",
                     saveStatus == 200 ? ScriptedServer::Reply{200, {}, "application/json", false, 100ms, true}
                                       : ScriptedServer::Reply{500, R"({"error":"Not stored."})", "application/json",
                                                               false, 100ms});
        if (keepsCopy)
            m_h->localCopyFolder = m_h->folder.filePath(QStringLiteral("copies"));
        openWindow();
        AssetRow row = m_h->workspace->rows().first();
        m_h->editor->beginEditing(row);
        row.quantity = 99;
        m_h->workspace->updateRow(row.id, row);
        m_h->editor->saveEditingRow();
        QTest::qWait(delay);

        m_window->close();
        QTRY_VERIFY2_WITH_TIMEOUT(answered(), qPrintable(QStringLiteral("close after %1 ms").arg(delay)), limit);
        if (!m_window->unsavedQuestion())
            continue;
        QVERIFY(!keepsCopy);
        // The question gives the service's reason. Staying keeps the window and the edit, and closing again is
        // answered again, until the user quits anyway.
        QVERIFY(m_window->unsavedQuestion()->text().contains(QStringLiteral("Not stored.")));
        answerUnsaved(QStringLiteral("Stay"));
        QTRY_VERIFY(!m_window->unsavedQuestion());
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_h->workspace->rows().first().quantity, 99.0);
        m_window->close();
        QTRY_VERIFY2_WITH_TIMEOUT(answered(), qPrintable(QStringLiteral("second close after %1 ms").arg(delay)),
                                  limit);
        answerUnsaved(QStringLiteral("Quit Anyway"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 5000);
    }
}

void WindowTest::brokerageNames_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("sent");
    QTest::newRow("one letter padded") << QStringLiteral(" \nB\t ") << false;
    QTest::newRow("one letter with a combining mark") << QStringLiteral("e\u0301") << false;
    QTest::newRow("two letters") << QStringLiteral(" Ab ") << true;
    QTest::newRow("two CJK characters") << QStringLiteral("\u8001\u864E") << true;
}

void WindowTest::brokerageNames()
{
    QFETCH(QString, typed);
    QFETCH(bool, sent);
    m_server->on("POST", "/v1/brokerages", {200, R"({"id":"b9","name":"Ab","region":"","is_custom":true})"});
    openWindow();
    ContentView *content = m_window->content();
    content->openAddBrokerageDialog();
    QDialog *dialog = content->addBrokerageDialog();
    QVERIFY(dialog);
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("brokerageName"));
    name->setText(typed);
    auto *box = dialog->findChild<QDialogButtonBox *>();
    for (QAbstractButton *button : box->buttons())
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->click();
    QTRY_VERIFY(!content->addBrokerageDialog());
    if (!sent) {
        QCOMPARE(m_h->workspace->portfolioError(),
                 std::optional(QStringLiteral("Brokerage name must contain at least 2 characters.")));
        QTRY_VERIFY(content->banner()->isVisible());
        QCOMPARE(countOf(*m_server, "POST", "/v1/brokerages"), std::size_t(0));
        return;
    }
    QTRY_COMPARE(countOf(*m_server, "POST", "/v1/brokerages"), std::size_t(1));
    for (const auto &request : m_server->received())
        if (request.method == "POST" && request.path == "/v1/brokerages")
            QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(request.body))
                         .object()
                         .value(QStringLiteral("name"))
                         .toString(),
                     typed.trimmed());
    QTRY_VERIFY(!m_h->workspace->brokerages().isEmpty());
    QVERIFY(m_h->workspace->brokerageNames().contains(QStringLiteral("Ab")));
}

void WindowTest::aCreatedBrokerageIsNotListedTwice()
{
    m_server->on("GET", "/v1/brokerages", {200, R"([{"id":"b9","name":"Ab","region":"","is_custom":true}])"});
    m_server->on("POST", "/v1/brokerages", {200, R"({"id":"b9","name":"Ab","region":"","is_custom":true})"});
    openWindow();
    auto create = m_h->workspace->createCustomBrokerage(QStringLiteral("ab"));
    QCoro::waitFor(std::move(create));
    QCOMPARE(m_h->workspace->brokerages().size(), 1);
    QVERIFY(!m_h->workspace->portfolioError());
}

void WindowTest::bannerRetriesThePortfolio()
{
    m_server->on("GET", "/v1/portfolio", {500, R"({"error":"Portfolio storage is down."})"});
    openWindow();
    ContentView *content = m_window->content();
    QVERIFY(content->banner()->isVisible());
    // A refusal of a service that is unwell for now is tried again by itself.
    QCOMPARE(content->bannerText()->text(),
             QStringLiteral("Portfolio storage is down. Quillfern will try again by itself."));

    m_server->on("GET", "/v1/portfolio",
                 {200, portfolioJSON({holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190)}), "application/json",
                  false, 300ms});
    content->retryButton()->click();
    QVERIFY(!content->banner()->isVisible()); // cleared when the reload starts
    QTRY_COMPARE_WITH_TIMEOUT(m_h->workspace->rows().size(), 1, 5000);
    QVERIFY(!content->banner()->isVisible());

    m_server->on("GET", "/v1/portfolio", {500, R"({"error":"Down again."})"});
    content->retryButton()->click();
    QTRY_VERIFY(content->banner()->isVisible());
    QCOMPARE(content->bannerText()->text(), QStringLiteral("Down again. Quillfern will try again by itself."));
}

void WindowTest::menusCheckTheSelection()
{
    openWindow();
    ContentView *content = m_window->content();
    QMenu *currencies = content->currencyMenuButton()->menu();
    // The oldest date the rates carry heads the list, as a line that cannot be chosen.
    QCOMPARE(currencies->actions().size(), 5);
    QCOMPARE(currencies->actions()[0]->text(), QStringLiteral("Rates of Dec 4, 2026"));
    QVERIFY(!currencies->actions()[0]->isEnabled());
    QVERIFY(currencies->actions()[1]->isSeparator());
    QCOMPARE(currencies->actions()[3]->text(), QStringLiteral("  HKD \u2014 Hong Kong Dollar"));
    QVERIFY(currencies->actions()[2]->isChecked());
    currencies->actions()[3]->trigger();
    QCOMPARE(m_h->workspace->reportingCurrencyCode(), QStringLiteral("HKD"));
    QCOMPARE(content->currencyMenuButton()->text(), QStringLiteral("  HKD"));
    QVERIFY(content->currencyMenuButton()->menu()->actions()[3]->isChecked());
    QVERIFY(!content->currencyMenuButton()->menu()->actions()[2]->isChecked());

    QAction *signOut = content->accountMenuButton()->menu()->findChild<QAction *>(QStringLiteral("signOut"));
    QVERIFY(signOut);
    signOut->trigger();
    QTRY_VERIFY(content->signInView()->isVisible());
    QVERIFY(!m_h->auth->accessToken());
}

void WindowTest::automaticPricesAreAKeptChoiceOfTheOpenWindow()
{
    openWindow();
    const PriceRefresher &prices = m_h->workspace->priceRefresher();
    QVERIFY(m_window->automaticPricesAction()->isChecked() && prices.isAutomatic());
    m_window->automaticPricesAction()->trigger();
    QVERIFY(!prices.isAutomatic());

    // The next window keeps the choice; once it is gone, prices no longer refresh by themselves.
    m_window.reset();
    m_window = std::make_unique<MainWindow>(*m_h->workspace);
    QVERIFY(!m_window->automaticPricesAction()->isChecked() && !prices.isAutomatic());
    m_window->automaticPricesAction()->trigger();
    QVERIFY(prices.isAutomatic());
    m_window.reset();
    QVERIFY(!prices.isAutomatic());
}

void WindowTest::aLanguageSwitchReachesEveryText_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("fileMenu");
    QTest::addColumn<QString>("currencyToolTip");
    QTest::addColumn<QString>("hongKongDollar");
    QTest::addColumn<QString>("statistics");
    QTest::addColumn<QString>("qtCancel");
    QTest::newRow("ja-JP") << QStringLiteral("ja-JP") << QStringLiteral("ファイル") << QStringLiteral("表示通貨")
                           << QStringLiteral("香港ドル") << QStringLiteral("統計を隠す")
                           << QStringLiteral("キャンセル");
    QTest::newRow("back to English") << QStringLiteral("en-US") << QStringLiteral("&File")
                                     << QStringLiteral("Reporting currency") << QStringLiteral("Hong Kong Dollar")
                                     << QStringLiteral("Hide Statistics") << QStringLiteral("Cancel");
}

// Menus, tooltips, currency names (ICU's, in the language) and the texts Qt supplies itself all follow a
// switch made while the window is open, including a dialog button that was already on screen.
void WindowTest::aLanguageSwitchReachesEveryText()
{
    QFETCH(QString, language);
    m_server->on("GET", "/v1/languages", {200, R"json([
      {"code":"en-US","name":"English","native_name":"English","locale":"en_US","flag":""},
      {"code":"zh-TW","name":"Chinese (Traditional)","native_name":"繁體中文","locale":"zh_TW","flag":""},
      {"code":"ja-JP","name":"Japanese","native_name":"日本語","locale":"ja_JP","flag":""},
      {"code":"ko-KR","name":"Korean","native_name":"한국어","locale":"ko_KR","flag":""}])json"});
    openWindow();
    QDialogButtonBox shownBefore(QDialogButtonBox::Cancel);
    m_h->workspace->setLanguageCode(QStringLiteral("ko-KR"));
    m_h->workspace->setLanguageCode(language);

    ContentView *content = m_window->content();
    QTEST(m_window->menuBar()->actions().constFirst()->text(), "fileMenu");
    QTEST(content->currencyMenuButton()->toolTip(), "currencyToolTip");
    QFETCH(QString, hongKongDollar);
    QCOMPARE(content->currencyMenuButton()->menu()->actions()[3]->text(),
             QStringLiteral("  HKD \u2014 ") + hongKongDollar);
    QTEST(content->holdingsPage()->findChild<StatsCollapseButton *>()->text(), "statistics");
    // Qt posts the change to every widget; it lands with the next turn of the event loop.
    QFETCH(QString, qtCancel);
    QTRY_COMPARE(shownBefore.button(QDialogButtonBox::Cancel)->text(), qtCancel);
}

void WindowTest::aDeleteByTheTrashButtonIsUndone_data()
{
    QTest::addColumn<QString>("undoneBy");
    QTest::addColumn<QKeySequence>("redo");
    const QKeySequence redoByShiftZ(QStringLiteral("Ctrl+Shift+Z"));
    const QKeySequence redoByY(QStringLiteral("Ctrl+Y"));
    QTest::newRow("Ctrl+Z, redone by Ctrl+Shift+Z") << QStringLiteral("shortcut") << redoByShiftZ;
    QTest::newRow("status line's Undo clicked, redone by Ctrl+Y") << QStringLiteral("click") << redoByY;
    QTest::newRow("status line's Undo by keyboard") << QStringLiteral("keyboard") << redoByY;
}

void WindowTest::aDeleteByTheTrashButtonIsUndone()
{
    QFETCH(QString, undoneBy);
    QFETCH(QKeySequence, redo);
    openWindow();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    HoldingsPage *page = m_window->content()->holdingsPage();
    QVERIFY(page);
    const AssetRow row = m_h->workspace->rows().first();
    QVERIFY(!m_window->undoAction()->isEnabled());

    QTableView *view = page->table()->view();
    const QRect actions = view->visualRect(view->model()->index(0, ActionsColumn));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(actions.left() + table::cellInset + 8, actions.center().y()));
    QVERIFY(m_h->workspace->rows().isEmpty());
    QCOMPARE(page->rowStatus()->text(), QStringLiteral("Deleted AAPL \u00B7"));
    QVERIFY(page->rowStatusUndo()->isVisible());
    QCOMPARE(m_window->undoAction()->text(), QStringLiteral("Undo Delete Position of AAPL"));

    if (undoneBy == QStringLiteral("shortcut")) {
        QTest::keySequence(m_window.get(), QKeySequence(QStringLiteral("Ctrl+Z")));
    } else if (undoneBy == QStringLiteral("click")) {
        QTest::mouseClick(page->rowStatusUndo(), Qt::LeftButton);
    } else {
        page->rowStatusUndo()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(page->rowStatusUndo(), Qt::Key_Space);
    }
    QCOMPARE(m_h->workspace->rows(), QList<AssetRow>{row});
    QVERIFY(!page->rowStatusUndo()->isVisible());
    QCOMPARE(m_window->redoAction()->text(), QStringLiteral("Redo Delete Position of AAPL"));
    QVERIFY(m_h->workspace->hasPendingSave());

    QTest::keySequence(m_window.get(), redo);
    QVERIFY(m_h->workspace->rows().isEmpty());
    QCOMPARE(m_window->undoAction()->text(), QStringLiteral("Undo Delete Position of AAPL"));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

// The balance page on a workspace loaded from a scripted service: what the table and the figures show,
// editing through the row's fields, the alert, when saves are asked for, and screenshots in two languages.

#include "app/balances/BalanceEditor.h"
#include "app/balances/BalancePage.h"
#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/charts/AllocationPanel.h"
#include "app/charts/MetricCard.h"
#include "app/charts/StatsCollapseButton.h"
#include "app/table/AddTableButton.h"
#include "app/table/CellEditors.h"
#include "app/table/CellRoles.h"
#include "app/table/TotalRowView.h"
#include "tests/balances/SeededWorkspace.h"
#include "text/Formats.h"
#include "text/Localization.h"
#include "tests/support/QuietConsole.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

class BalancePageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void brokerFiguresStandOnTheFirstRowOnly();
    void cardsAndTotalsAddHoldingsAndCash();
    void editingARowSavesOnlyWhenSaved();
    void aDuplicateChoiceAlertsAndSpringsBack();
    void deleteAsksForASave();
    void collapsingHidesTheStatistics();
    void screenshots_data();
    void screenshots();

private:
    QString shown(int row, int column) const { return m_page->table()->model()->index(row, column).data().toString(); }

    ScriptedServer m_server;
    std::unique_ptr<WorkspaceHarness> m_harness;
    std::unique_ptr<BalancePage> m_page;
};

void BalancePageTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    scriptSeededSession(m_server);
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->open(m_server.baseURL(), QStringLiteral("token-1"));
    QVERIFY(m_harness->startAndLoad());
    QCOMPARE(m_harness->workspace->cashRows().size(), 3);
    m_page = std::make_unique<BalancePage>(*m_harness->workspace);
}

void BalancePageTest::cleanup()
{
    m_page.reset();
    m_harness.reset();
}

void BalancePageTest::brokerFiguresStandOnTheFirstRowOnly()
{
    using Model = BalanceTableModel;
    QAbstractItemModelTester tester(m_page->table()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    const CurrencyOption usd = m_harness->workspace->reportingCurrency();
    const double futuHoldings = 200 * 5; // AAPL: 5 units at 200
    const double futuCash = 2500 + 10000 * 0.128;

    QCOMPARE(m_page->table()->model()->rowCount(), 3);
    QCOMPARE(shown(0, Model::OriginalCashColumn), QStringLiteral("$") + decimal(2500, 2));
    QCOMPARE(shown(1, Model::OriginalCashColumn), QStringLiteral("HK$") + decimal(10000, 2));
    QCOMPARE(shown(0, Model::HoldingsValueColumn), format(usd, futuHoldings, false));
    QCOMPARE(shown(0, Model::InvestedWeightColumn), ratioPercent(futuHoldings, futuHoldings + futuCash));
    QCOMPARE(shown(0, Model::AccountValueColumn), format(usd, futuHoldings + futuCash, false));
    // Futu's second row shows its own cash value and nothing of the broker's.
    QCOMPARE(shown(1, Model::CashValueColumn), format(usd, 1280, false));
    for (int column : {Model::HoldingsValueColumn, Model::InvestedWeightColumn, Model::AccountValueColumn})
        QVERIFY(shown(1, column).isEmpty());
    // Tiger holds cash alone.
    QCOMPARE(shown(2, Model::HoldingsValueColumn), format(usd, 0, false));
    QCOMPARE(shown(2, Model::InvestedWeightColumn), ratioPercent(0, 960));
    QCOMPARE(m_page->table()->model()->headerData(Model::CashValueColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
             AppText::value(u"cashValue", u"en-US") + QStringLiteral(" (USD)"));
}

void BalancePageTest::cardsAndTotalsAddHoldingsAndCash()
{
    const CurrencyOption usd = m_harness->workspace->reportingCurrency();
    const double holdings = 200 * 5 + 120 * 5;
    const double cash = 2500 + 1280 + 960;
    QCOMPARE(m_page->cards()[0]->figure().value, format(usd, holdings, false));
    QCOMPARE(m_page->cards()[1]->figure().value, format(usd, cash, false));
    QCOMPARE(m_page->cards()[2]->figure().value, format(usd, holdings + cash, false));
    QCOMPARE(m_page->cards()[3]->figure().value, ratioPercent(holdings, holdings + cash));

    // The total row's holdings are the whole portfolio's, IBKR's too though it has no cash row.
    const QList<table::TotalCell> totals = m_page->table()->totalRow()->cells();
    QCOMPARE(totals.size(), 6);
    QCOMPARE(totals[1].text, format(usd, cash, false));
    QCOMPARE(totals[2].text, format(usd, holdings, false));
    QCOMPARE(totals[4].text, format(usd, holdings + cash, false));

    // Total assets by broker: IBKR's holdings alone, Futu's holdings and cash, Tiger's cash.
    const auto &byBroker = m_page->panels()[2]->items();
    QCOMPARE(byBroker.size(), size_t(3));
    QCOMPARE(byBroker[0].label, std::string("Futu"));
    QCOMPARE(byBroker[0].valueUsd, 1000 + 2500 + 1280.0);
}

void BalancePageTest::editingARowSavesOnlyWhenSaved()
{
    Workspace &w = *m_harness->workspace;
    QTableView *view = m_page->table()->view();
    QAbstractItemModel *model = view->model(); // the rows as the view shows them
    QVERIFY(w.portfolioMatchesSyncedData());

    Q_EMIT view->doubleClicked(model->index(2, BalanceTableModel::CashValueColumn));
    QCOMPARE(m_page->editor().editingCashRowID(), std::optional<QString>(QStringLiteral("C3")));
    auto *cash = qobject_cast<table::EditingNumberCell *>(
        view->indexWidget(model->index(2, BalanceTableModel::OriginalCashColumn)));
    QVERIFY(cash);
    QCOMPARE(cash->prefixLabel()->text(), QStringLiteral("\u00A5"));

    cash->field()->selectAll();
    QTest::keyClicks(cash->field(), QStringLiteral("200000"));
    QCOMPARE(w.cashRows()[2].originalCash, 200000.0);
    // The figures follow the typing, the service does not hear of it yet.
    QCOMPARE(m_page->cards()[1]->figure().value, format(w.reportingCurrency(), 2500 + 1280 + 1280, false));
    QVERIFY(!w.hasPendingSave());

    auto *actions =
        qobject_cast<table::EditRowActionsCell *>(view->indexWidget(model->index(2, BalanceTableModel::ActionsColumn)));
    QVERIFY(actions);
    Q_EMIT actions->saveRequested();
    QVERIFY(!m_page->editor().editingCashRowID());
    QVERIFY(w.hasPendingSave());
    QVERIFY(m_harness->waitForSync());
    std::optional<QJsonObject> sent;
    for (const auto &request : requestsTo(m_server, "/v1/portfolio")) {
        if (request.method == "PUT")
            sent = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
    }
    QVERIFY(sent);
    const QJsonObject tiger = sent->value(QStringLiteral("cash_balances")).toArray().at(2).toObject();
    QCOMPARE(tiger.value(QStringLiteral("id")).toString(), QStringLiteral("C3"));
    QCOMPARE(tiger.value(QStringLiteral("original_cash")).toDouble(), 200000.0);
}

void BalancePageTest::aDuplicateChoiceAlertsAndSpringsBack()
{
    Workspace &w = *m_harness->workspace;
    QTableView *view = m_page->table()->view();
    QAbstractItemModel *model = view->model(); // the rows as the view shows them
    Q_EMIT view->doubleClicked(model->index(1, BalanceTableModel::BrokerColumn));
    auto *currency =
        qobject_cast<table::PickerCell *>(view->indexWidget(model->index(1, BalanceTableModel::CurrencyColumn)));
    QVERIFY(currency);
    QCOMPARE(currency->currentText(), QStringLiteral("HKD"));

    // Futu/USD is row C1's: the choice is refused.
    currency->setCurrentIndex(currency->findText(QStringLiteral("USD")));
    Q_EMIT currency->valueChosen(QStringLiteral("USD"));
    QTRY_VERIFY(m_page->alert());
    QCOMPARE(m_page->alert()->windowTitle(), QStringLiteral("Unable to Edit Balance"));
    QCOMPARE(m_page->alert()->text(), BalanceEditor::duplicatePairMessage);
    QCOMPARE(w.cashRows()[1].currency, QStringLiteral("HKD"));
    QCOMPARE(currency->currentText(), QStringLiteral("HKD"));
    m_page->alert()->reject();
    QTRY_VERIFY(!m_page->editor().balanceEditError());

    // EUR is free: the row takes it with the listed rate.
    currency->setCurrentIndex(currency->findText(QStringLiteral("EUR")));
    Q_EMIT currency->valueChosen(QStringLiteral("EUR"));
    QCOMPARE(w.cashRows()[1].currency, QStringLiteral("EUR"));
    QCOMPARE(w.cashRows()[1].serverFXToUSD, std::optional<double>(1.1));
    QVERIFY(!w.hasPendingSave());
}

void BalancePageTest::deleteAsksForASave()
{
    Workspace &w = *m_harness->workspace;
    m_page->addButton()->click();
    // Futu/USD and Futu/HKD are taken: the new row is Futu/EUR, in edit mode, not yet saved.
    QCOMPARE(w.cashRows().size(), 4);
    QCOMPARE(w.cashRows().last().currency, QStringLiteral("EUR"));
    QCOMPARE(m_page->table()->model()->rowCount(), 4);
    QTableView *view = m_page->table()->view();
    QVERIFY(view->indexWidget(view->model()->index(3, BalanceTableModel::BrokerColumn)));
    QVERIFY(!w.hasPendingSave());

    m_page->editor().deleteCashRow(w.cashRows().first().id);
    QCOMPARE(m_page->table()->model()->rowCount(), 3);
    QVERIFY(w.hasPendingSave());
}

void BalancePageTest::collapsingHidesTheStatistics()
{
    m_page->show();
    QVERIFY(m_page->statistics()->isVisible());
    m_page->collapseButton()->click();
    QVERIFY(!m_page->editor().isBalanceStatsExpanded());
    QTRY_VERIFY(!m_page->statistics()->isVisible());
    // The holdings page keeps its own flag.
    QVERIFY(m_harness->workspace->isHoldingStatsExpanded());
    m_page->collapseButton()->click();
    QTRY_VERIFY(m_page->statistics()->isVisible());
}

void BalancePageTest::screenshots_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("editing");
    QTest::newRow("en-US") << "en-US" << false;
    QTest::newRow("ko-KR") << "ko-KR" << false;
    QTest::newRow("en-US editing") << "en-US" << true;
}

void BalancePageTest::screenshots()
{
    QFETCH(QString, language);
    QFETCH(bool, editing);
    m_harness->workspace->setLanguageCode(language);
    if (editing)
        m_page->addButton()->click();
    const QString name =
        QStringLiteral("balance-page-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    const QImage image = screenshot(*m_page, QSize(1440, 900), name);
    QVERIFY(!image.isNull());
    QCOMPARE(m_page->cards()[0]->figure().title, AppText::value(u"investments", language));
    QCOMPARE(m_page->panels()[1]->title(), AppText::value(u"holdingVsCash", language));
    // The page fits its width: the table scrolls sideways instead of the page.
    QVERIFY2(m_page->widget()->width() <= m_page->viewport()->width(),
             qPrintable(QStringLiteral("%1 > %2").arg(m_page->widget()->width()).arg(m_page->viewport()->width())));
}

QTEST_MAIN(BalancePageTest)
#include "tst_balancepage.moc"

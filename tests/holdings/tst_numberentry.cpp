// Number fields of the holdings and cash editing rows, typed into through the real widgets: what reads
// follows the user's number locale; anything else stays as typed, marked in place, and Return saves nothing.

#include "app/balances/BalanceTable.h"
#include "app/balances/BalanceTableModel.h"
#include "app/holdings/HoldingsTable.h"
#include "app/table/CellEditors.h"
#include "tests/holdings/TablePages.h"
#include "tests/support/QuietConsole.h"

#include <QTableView>

using namespace quillfern;
using namespace quillfern::testing;

class NumberEntryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { failOnConsoleMessages(); }
    void cleanup() { qputenv("LC_ALL", "C.UTF-8"); }

    void typing_data()
    {
        QTest::addColumn<bool>("cash");
        QTest::addColumn<QByteArray>("locale"); // numbers; the interface speaks its language too
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::optional<double>>("stored"); // none: refused
        QTest::addColumn<QString>("hint");                 // part of the refusal's message
        const std::optional<double> no;
        const auto row = [](const char *name, bool cash, const char *locale, const char *typed,
                            std::optional<double> stored, const char *hint = "") {
            QTest::newRow(name) << cash << QByteArray(locale) << QString::fromUtf8(typed) << stored
                                << QString::fromUtf8(hint);
        };
        row("holding en grouped", false, "en_US", "1,234.5", 1234.5);
        row("holding en letter inside", false, "en_US", "30a0", no, "1,234.5");
        row("holding en letters around", false, "en_US", "abc3x0,0.5", no, "1,234.5");
        row("holding de grouped", false, "de_DE", "1.234,5", 1234.5);
        row("holding de dot is ambiguous", false, "de_DE", "1.5", no, "1.234,5");
        row("holding ja message", false, "ja_JP", "30a0", no, "\u6570\u5024");
        row("cash en words", true, "en_US", "five hundred", no, "1,234.5");
        row("cash en emptied", true, "en_US", "", no, "1,234.5");
        row("cash fr dot decimal", true, "fr_FR", "1.5", 1.5);
        row("cash ko message", true, "ko_KR", "abc", no, "\uC22B\uC790");
    }

    void typing()
    {
        QFETCH(bool, cash);
        QFETCH(QByteArray, locale);
        QFETCH(QString, typed);
        QFETCH(std::optional<double>, stored);
        TablePages pages;
        QVERIFY(pages.load());
        Workspace &w = pages.workspace();
        qputenv("LC_ALL", locale + ".UTF-8");
        const auto value = [&] { return cash ? w.cashRows()[0].originalCash : w.rows()[0].averagePrice; };
        const double before = value();

        HoldingsPage holdings(w);
        BalancePage balances(w);
        QWidget &page = cash ? static_cast<QWidget &>(balances) : holdings;
        QTableView *view = cash ? balances.table()->view() : holdings.table()->view();
        page.setLocale(QLocale(QString::fromLatin1(locale)));
        QVERIFY(showPage(page));
        const auto index = [view, cash](int cashColumn, int holdingColumn) {
            return view->model()->index(0, cash ? cashColumn : holdingColumn);
        };
        const QModelIndex start = index(BalanceTableModel::CurrencyColumn, CodeColumn);
        const QModelIndex number = index(BalanceTableModel::OriginalCashColumn, AveragePriceColumn);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(start).center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(start).center());
        auto *cell = qobject_cast<table::EditingNumberCell *>(view->indexWidget(number));
        QVERIFY(cell);
        cell->field()->setFocus();
        cell->field()->selectAll();
        QTest::keyClick(cell->field(), Qt::Key_Delete);
        QTest::keyClicks(cell->field(), typed);
        QCOMPARE(cell->isValid(), stored.has_value());
        // Return from another field of the row, once the number field is left.
        QWidget *other = view->indexWidget(start);
        other->setFocus();
        QTest::keyClick(other, Qt::Key_Return);

        QCOMPARE(value(), stored.value_or(before));
        QCOMPARE(w.hasPendingSave(), stored.has_value());
        if (stored) {
            QVERIFY(!view->indexWidget(number)); // the row left edit mode
            return;
        }
        QCOMPARE(view->indexWidget(number), cell);
        QCOMPARE(cell->field()->text(), typed);
        QVERIFY(cell->field()->hasFocus());
        QFETCH(QString, hint);
        QVERIFY2(cell->field()->toolTip().contains(hint), qPrintable(cell->field()->toolTip()));
        QCOMPARE(cell->field()->accessibleDescription(), cell->field()->toolTip());
        QVERIFY(cell->field()->palette().color(QPalette::Text) != view->palette().color(QPalette::Text));
    }
};

QTEST_MAIN(NumberEntryTest)
#include "tst_numberentry.moc"

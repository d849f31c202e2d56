#include "tests/workspace/EditingHarness.h"
#include "tests/support/QuietConsole.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

const QString scripted = QStringLiteral("scripted");

QStringList traceLines()
{
    QFile file(EditDebugLog::path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The messages of the trace, without their time stamps.
QStringList traceMessages()
{
    QStringList messages;
    for (const QString &line : traceLines())
        messages.append(line.mid(QStringLiteral("2026-01-01 00:00:00 +0000 ").size()));
    return messages;
}

} // namespace

class RowEditingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void newRowsTakeTheFirstOptions();
    void saveNormalisesAndReportsTheStoredCode();
    void checksOfASave_data();
    void checksOfASave();
    void cancelRestoresEveryField_data();
    void cancelRestoresEveryField();
    void deletingTheEditingRow();
    void leavingARowForAnother_data();
    void leavingARowForAnother();
    void traceNumbers_data();
    void traceNumbers();
    void traceFileIsPrivateAppendedAndNeverFollowsALink();

private:
    // A workspace holding rows, shown in the language.
    void openWith(const QList<AssetRow> &rows, const QString &language = QStringLiteral("en-US"));

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<EditingHarness> m_h;
};

void RowEditingTest::init()
{
    quillfern::testing::failOnConsoleMessages();
    m_server = std::make_unique<ScriptedServer>();
    m_h = std::make_unique<EditingHarness>();
}

void RowEditingTest::cleanup()
{
    // The client goes first: a server stopping under an open keep-alive connection waits for it.
    m_h.reset();
    m_server.reset();
}

void RowEditingTest::openWith(const QList<AssetRow> &rows, const QString &language)
{
    scriptSession(*m_server, rows);
    m_server->on("GET", "/v1/market/stock", {404, R"({"error":"No quote."})"});
    m_h->open(m_server->baseURL(), scripted);
    QVERIFY(m_h->startAndLoad());
    m_h->workspace->setLanguageCode(language);
}

void RowEditingTest::newRowsTakeTheFirstOptions()
{
    scriptSession(*m_server, {});
    m_server->on("GET", "/v1/gics-classifications", {200, R"json([
      {"sector_code":"45","sector_name":"Information Technology","industry_group_code":"4530","industry_group_name":"S",
       "industry_code":"453010","industry_name":"S","sub_industry_code":"45301020","sub_industry_name":"Semiconductors",
       "source_version":"v"},
      {"sector_code":"10","sector_name":"Energy","industry_group_code":"1010","industry_group_name":"E",
       "industry_code":"101010","industry_name":"E","sub_industry_code":"10101010","sub_industry_name":"Oil & Gas Drilling",
       "source_version":"v"},
      {"sector_code":"45","sector_name":"IT (other name)","industry_group_code":"4520","industry_group_name":"T",
       "industry_code":"452020","industry_name":"T","sub_industry_code":"45202030","sub_industry_name":"Technology Hardware",
       "source_version":"v"}])json"});
    m_server->on("GET", "/v1/brokerages", {200, R"([{"id":"b1","name":"Tiger","region":"SG","is_custom":false},
                           {"id":"b2","name":"Futu","region":"HK","is_custom":false}])"});
    m_h->open(m_server->baseURL(), scripted);
    QVERIFY(m_h->startAndLoad());
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    QCOMPARE(w.gicsSectorNames(), (QStringList{QStringLiteral("Information Technology"), QStringLiteral("Energy")}));

    const QString id = e.addRow();
    QCOMPARE(w.rows().size(), 1);
    const AssetRow &row = w.rows().first();
    QCOMPARE(row.id, id);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                .match(id)
                .hasMatch());
    QCOMPARE(row.market, QStringLiteral("US"));
    QCOMPARE(row.sector, QStringLiteral("Information Technology"));
    QCOMPARE(row.subSector, QStringLiteral("Semiconductors"));
    QCOMPARE(row.broker, QStringLiteral("Futu")); // sorted first
    QCOMPARE(row.code, QString());
    QCOMPARE(row.quantity, 0.0);
    QCOMPARE(e.editingRowID(), std::optional(id));
    QCOMPARE(e.selectedRowID(), std::optional(id));
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Editing new row \u00B7 Return to save \u00B7 Esc to cancel"));
    QVERIFY(!w.hasPendingSave()); // adding alone saves nothing
}

void RowEditingTest::saveNormalisesAndReportsTheStoredCode()
{
    openWith({holding(QStringLiteral("A"), QStringLiteral("MSFT"), 400)});
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    AssetRow row = w.rows().first();
    e.beginEditing(row);
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Editing MSFT \u00B7 Return to save \u00B7 Esc to cancel"));
    row.code = QStringLiteral("  aapl\t");
    row.sector = QStringLiteral(" Information Technology\t");
    row.subSector = QStringLiteral("\u3000Semiconductors ");
    row.market = QStringLiteral(" US");
    w.updateRow(row.id, row);
    e.saveEditingRow();

    const AssetRow &stored = w.rows().first();
    QCOMPARE(stored.code, QStringLiteral("AAPL"));
    QCOMPARE(stored.sector, QStringLiteral("Information Technology"));
    QCOMPARE(stored.subSector, QStringLiteral("Semiconductors"));
    QCOMPARE(stored.market, QStringLiteral(" US")); // markets are kept as typed
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Saved AAPL \u00B7 fetching price\u2026"));
    QVERIFY(!e.editingRowID());
    QVERIFY(!e.originalEditingRow());
    QCOMPARE(e.selectedRowID(), std::optional(row.id));
    QVERIFY(w.hasPendingSave());

    // The price fetch that follows every save asks for the code as stored, with the market as typed.
    QTRY_VERIFY_WITH_TIMEOUT(!requestsTo(*m_server, "/v1/market/stock").empty(), 3000);
    QCOMPARE(requestsTo(*m_server, "/v1/market/stock").front().target, "/v1/market/stock?symbol=AAPL&market=%20US");
    QTRY_COMPARE_WITH_TIMEOUT(w.priceRefresher().status(), QStringLiteral("AAPL: No quote."), 3000);
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Saved AAPL \u00B7 fetching price\u2026"));

    QCOMPARE(traceMessages().last(), QStringLiteral("[Quillfern][Edit] save completed id=A rows[0].sector=Information "
                                                    "Technology rows[0].code=AAPL"));
}

void RowEditingTest::checksOfASave_data()
{
    QTest::addColumn<AssetRow>("other"); // a holding listed before the edited one, when it has an id
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("averagePrice");
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("currentPrice");
    QTest::addColumn<QString>("error"); // empty: saved
    QTest::addColumn<QString>("language");

    const QString codeRequired = QStringLiteral("Code is required.");
    const QString numbers = QStringLiteral("Prices cannot be negative and quantity must be greater than zero.");
    const QString duplicate = QStringLiteral("This market, stock code and broker combination already exists.");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto add = [](const char *name, const QString &code, double average, double quantity, double current,
                        const QString &error, const AssetRow &other = {}, const char *language = "en-US") {
        QTest::newRow(name) << other << code << average << quantity << current << error
                            << QString::fromLatin1(language);
    };
    const auto other = [](const char *market, const char *code, const char *broker) {
        return holding(QStringLiteral("O"), QString::fromLatin1(code), 1, QString::fromLatin1(market),
                       QString::fromLatin1(broker));
    };
    add("blank code before numbers", QStringLiteral(" \u00A0 "), -1, 0, 1, codeRequired);
    add("zero quantity", QStringLiteral("AAPL"), 10, 0, 1, numbers);
    add("negative average", QStringLiteral("AAPL"), -0.01, 1, 1, numbers);
    add("negative current", QStringLiteral("AAPL"), 1, 1, -5, numbers);
    add("average not a number", QStringLiteral("AAPL"), nan, 1, 1, numbers);
    add("quantity not a number", QStringLiteral("AAPL"), 1, nan, 1, numbers);
    add("zero average is fine", QStringLiteral("AAPL"), 0, 1, 0, {});
    add("blank code, in Chinese", {}, 1, 1, 1, QStringLiteral("必须填写代码。"), {}, "zh-CN");
    // Market, code and broker are compared ignoring case; only the other's code is trimmed.
    add("duplicate ignoring case", QStringLiteral("aapl"), 1, 1, 1, duplicate, other("us", "aapl", "snowball"));
    add("duplicate of a padded code", QStringLiteral("aapl"), 1, 1, 1, duplicate, other("US", " AAPL ", "Snowball"));
    add("broker with a trailing space", QStringLiteral("aapl"), 1, 1, 1, {}, other("US", "AAPL", "Snowball "));
    add("market with a trailing space", QStringLiteral("aapl"), 1, 1, 1, {}, other("US ", "AAPL", "Snowball"));
}

void RowEditingTest::checksOfASave()
{
    QFETCH(AssetRow, other);
    QFETCH(QString, code);
    QFETCH(double, averagePrice);
    QFETCH(double, quantity);
    QFETCH(double, currentPrice);
    QFETCH(QString, error);
    QFETCH(QString, language);

    const AssetRow edited = holding(QStringLiteral("A"), QStringLiteral("MSFT"), 400);
    openWith(other.id.isEmpty() ? QList<AssetRow>{edited} : QList<AssetRow>{other, edited}, language);
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    AssetRow row = w.rows().last();
    e.beginEditing(row);
    row.code = code;
    row.averagePrice = averagePrice;
    row.quantity = quantity;
    row.currentPrice = currentPrice;
    w.updateRow(row.id, row);
    e.saveEditingRow();

    if (error.isEmpty()) {
        QVERIFY(!e.rowEditError());
        QVERIFY(!e.editingRowID());
        QCOMPARE(w.rows().last().code, code.trimmed().toUpper());
        return;
    }
    QCOMPARE(e.rowEditError(), std::optional(error));
    QCOMPARE(e.editingRowID(), std::optional(row.id)); // still editing, with what was typed
    QCOMPARE(w.rows().last().code, code);
    QVERIFY(!w.hasPendingSave());
    e.dismissRowEditError();
    QVERIFY(!e.rowEditError());
    QCOMPARE(e.editingRowID(), std::optional(row.id));
}

void RowEditingTest::cancelRestoresEveryField_data()
{
    QTest::addColumn<bool>("newRow");
    QTest::newRow("a row as it was") << false;
    QTest::newRow("a new row goes away") << true;
}

void RowEditingTest::cancelRestoresEveryField()
{
    QFETCH(bool, newRow);
    const AssetRow original = holding(QStringLiteral("A"), QStringLiteral("MSFT"), 400);
    openWith({original});
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    const QString id = newRow ? e.addRow() : original.id;
    if (!newRow)
        e.beginEditing(original);
    AssetRow typed = holding(id, QStringLiteral("0700"), 3, QStringLiteral("HK"), QStringLiteral("Futu"));
    typed.sector = QStringLiteral("Energy");
    typed.subSector = QStringLiteral("Oil");
    typed.averagePrice = 1;
    typed.quantity = 2;
    w.updateRow(id, typed);
    QCOMPARE(w.rows().last(), typed);

    e.cancelEditing();
    QCOMPARE(w.rows(), QList<AssetRow>{original});
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Changes discarded"));
    QVERIFY(!e.editingRowID());
    QCOMPARE(e.selectedRowID(), newRow ? std::nullopt : std::optional(id));
    QVERIFY(!w.hasPendingSave());
    QVERIFY(w.portfolioMatchesSyncedData());
    QCOMPARE(w.undoStack().count(), 0);
    QCOMPARE(traceMessages().last(), QStringLiteral("[Quillfern][Edit] cancelled"));

    // A save requested with no row in edit mode is a cancel.
    e.saveEditingRow();
    QCOMPARE(traceMessages().mid(traceMessages().size() - 2),
             (QStringList{QStringLiteral("[Quillfern][Edit] save skipped: no active row"),
                          QStringLiteral("[Quillfern][Edit] cancelled")}));
}

void RowEditingTest::deletingTheEditingRow()
{
    openWith({holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190),
              holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400),
              holding(QStringLiteral("C"), QStringLiteral("NVDA"), 120)});
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    QSignalSpy removed(&w, &Workspace::rowRemoved);
    e.beginEditing(w.rows()[1]);
    e.deleteRow(QStringLiteral("B"));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().first().toInt(), 1);
    QCOMPARE(w.rows().size(), 2);
    QCOMPARE(w.rows()[1].id, QStringLiteral("C"));
    QVERIFY(!e.editingRowID());
    QVERIFY(!e.selectedRowID());
    QCOMPARE(w.rowEditStatus(), QStringLiteral("Deleted MSFT"));
    QVERIFY(e.offersUndo());
    QVERIFY(w.hasPendingSave());
    QCOMPARE(w.summary().positions.size(), std::size_t(2));
}

void RowEditingTest::leavingARowForAnother_data()
{
    QTest::addColumn<bool>("fromNewRow");
    QTest::addColumn<double>("typedQuantity"); // 0: nothing typed; negative: refused
    QTest::addColumn<bool>("toNewRow");
    QTest::addColumn<bool>("left");
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<QString>("undoText");
    QTest::newRow("changed row is saved") << false << 42.0 << false << true << 2 << "Undo Change Position of AAPL";
    QTest::newRow("untouched row stays as it was") << false << 0.0 << false << true << 2 << "";
    QTest::newRow("refused row keeps the focus") << false << -1.0 << false << false << 2 << "";
    QTest::newRow("untouched new row goes away") << true << 0.0 << false << true << 2 << "";
    QTest::newRow("filled new row is added") << true << 42.0 << false << true << 3 << "Undo Add Position of TSLA";
    QTest::newRow("changed row is saved for a new one")
        << false << 42.0 << true << true << 3 << "Undo Change Position of AAPL";
    QTest::newRow("untouched new row gives way to a new one") << true << 0.0 << true << true << 3 << "";
}

void RowEditingTest::leavingARowForAnother()
{
    QFETCH(bool, fromNewRow);
    QFETCH(double, typedQuantity);
    QFETCH(bool, toNewRow);
    QFETCH(bool, left);
    QFETCH(int, rowsAfter);
    QFETCH(QString, undoText);
    openWith({holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190),
              holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400)});
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    const QString from = fromNewRow ? e.addRow() : w.rows()[0].id;
    if (!fromNewRow)
        e.beginEditing(w.rows()[0]);
    if (typedQuantity != 0) {
        AssetRow typed = w.rows()[fromNewRow ? 2 : 0];
        typed.quantity = typedQuantity;
        if (fromNewRow)
            typed.code = QStringLiteral("TSLA");
        w.updateRow(from, typed);
    }

    const QString to = toNewRow ? e.addRow() : QStringLiteral("B");
    if (!toNewRow)
        e.beginEditing(w.rows()[1]);
    QCOMPARE(e.editingRowID(), std::optional(left ? to : from));
    QCOMPARE(e.rowEditError().has_value(), !left);
    QCOMPARE(w.rows().size(), rowsAfter);
    QCOMPARE(w.undoStack().undoText().isEmpty() ? QString() : QStringLiteral("Undo ") + w.undoStack().undoText(),
             undoText);
    if (left && typedQuantity > 0) {
        QCOMPARE(w.rows()[fromNewRow ? 2 : 0].quantity, typedQuantity);
        QVERIFY(w.hasPendingSave());
    }
}

void RowEditingTest::traceNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 100.0 << QStringLiteral("100.0");
    QTest::newRow("zero") << 0.0 << QStringLiteral("0.0");
    QTest::newRow("negative") << -3.25 << QStringLiteral("-3.25");
    QTest::newRow("small") << 1e-05 << QStringLiteral("1e-05");
    QTest::newRow("shortest") << 0.1 + 0.2 << QStringLiteral("0.30000000000000004");
    QTest::newRow("large") << 1e16 << QStringLiteral("1e+16");
    QTest::newRow("ten thousandth") << 0.0001 << QStringLiteral("0.0001");
}

void RowEditingTest::traceNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(EditDebugLog::number(value), text);
}

void RowEditingTest::traceFileIsPrivateAppendedAndNeverFollowsALink()
{
    const QString path = m_h->folder.filePath(QStringLiteral("trace.log"));
    EditDebugLog::setPath(path);
    EditDebugLog::write(QStringLiteral("first"));
    EditDebugLog::write(QString::fromUtf8("second \xE6\x97\xA5\xE6\x9C\xAC"));
    const QStringList lines = traceLines();
    QCOMPARE(lines.size(), 2);
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\+0000 "));
    QVERIFY(stamp.match(lines[0]).hasMatch());
    QVERIFY(lines[0].endsWith(QStringLiteral(" first")));
    QVERIFY(lines[1].endsWith(QString::fromUtf8(" second \xE6\x97\xA5\xE6\x9C\xAC")));
    QFileInfo info(path);
    QCOMPARE(info.permissions() &
                 (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther),
             QFileDevice::Permissions());

    // A link planted under the log's name is neither followed nor replaced.
    const QString victim = m_h->folder.filePath(QStringLiteral("victim"));
    QFile(victim).open(QIODevice::WriteOnly);
    const QString planted = m_h->folder.filePath(QStringLiteral("planted.log"));
    QVERIFY(QFile::link(victim, planted));
    EditDebugLog::setPath(planted);
    EditDebugLog::write(QStringLiteral("never"));
    QCOMPARE(QFileInfo(victim).size(), 0);
    QVERIFY(QFileInfo(planted).isSymLink());

    // An unwritable place is ignored.
    EditDebugLog::setPath(m_h->folder.filePath(QStringLiteral("missing/folder/trace.log")));
    EditDebugLog::write(QStringLiteral("lost"));
}

QTEST_GUILESS_MAIN(RowEditingTest)
#include "tst_rowediting.moc"

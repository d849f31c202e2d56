#include "app/balances/BalanceEditor.h"
#include "tests/workspace/EditingHarness.h"

#include <QUndoStack>

#include <functional>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

const QString token = QStringLiteral("token-a");

// What the service holds, in a form that compares rows without caring for the fields no command touches.
QStringList shape(const QList<AssetRow> &rows, const QList<CashRow> &cash)
{
    QStringList lines;
    for (const AssetRow &row : rows)
        lines.append(QStringLiteral("holding %1 %2 %3").arg(row.id, row.code).arg(row.quantity));
    for (const CashRow &row : cash)
        lines.append(QStringLiteral("cash %1 %2 %3 %4").arg(row.id, row.broker, row.currency).arg(row.originalCash));
    return lines;
}

// The same shape, read from the body of the last portfolio save the service received; none when none came.
std::optional<QStringList> lastSent(const ScriptedServer &server)
{
    std::optional<QStringList> sent;
    for (const auto &request : server.received()) {
        if (request.method != "PUT" || request.path != "/v1/portfolio")
            continue;
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
        QStringList lines;
        for (const auto &value : body.value(QStringLiteral("holdings")).toArray()) {
            const QJsonObject row = value.toObject();
            lines.append(
                QStringLiteral("holding %1 %2 %3")
                    .arg(row.value(QStringLiteral("id")).toString(), row.value(QStringLiteral("code")).toString())
                    .arg(row.value(QStringLiteral("quantity")).toDouble()));
        }
        for (const auto &value : body.value(QStringLiteral("cash_balances")).toArray()) {
            const QJsonObject row = value.toObject();
            lines.append(QStringLiteral("cash %1 %2 %3 %4")
                             .arg(row.value(QStringLiteral("id")).toString(),
                                  row.value(QStringLiteral("broker")).toString(),
                                  row.value(QStringLiteral("currency")).toString())
                             .arg(row.value(QStringLiteral("original_cash")).toDouble()));
        }
        sent = lines;
    }
    return sent;
}

std::string portfolioWithCash(const QList<AssetRow> &rows)
{
    QJsonArray holdings;
    for (const AssetRow &row : rows)
        holdings.append(holdingJSON(row));
    const QJsonArray cash{QJsonObject{{QStringLiteral("id"), QStringLiteral("K")},
                                      {QStringLiteral("broker"), QStringLiteral("Futu")},
                                      {QStringLiteral("original_cash"), 100.0},
                                      {QStringLiteral("currency"), QStringLiteral("USD")},
                                      {QStringLiteral("fx_to_usd"), 1.0},
                                      {QStringLiteral("note"), QString()}}};
    const QJsonObject body{{QStringLiteral("holdings"), holdings}, {QStringLiteral("cash_balances"), cash}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
}

// One user change, made the way the pages make it.
struct Editors {
    HoldingsEditor &holdings;
    BalanceEditor &cash;
};
using Change = std::function<void(Editors &)>;

void setQuantity(HoldingsEditor &e, const QString &id, double quantity)
{
    for (AssetRow row : e.rows().rows()) {
        if (row.id != id)
            continue;
        e.beginEditing(row);
        row.quantity = quantity;
        e.rows().updateRow(id, row);
        e.saveEditingRow();
    }
}

} // namespace

Q_DECLARE_METATYPE(Change)

class EditUndoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void everyChangeUndoesAndRedoes_data();
    void everyChangeUndoesAndRedoes();
    void nothingIsRecordedForWhatTheUserDidNotComplete();
    void theStackBelongsToTheAccount();

private:
    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<EditingHarness> m_h;
    std::unique_ptr<BalanceEditor> m_cash;
};

void EditUndoTest::init()
{
    m_server = std::make_unique<ScriptedServer>();
    const QList<AssetRow> rows{holding(QStringLiteral("A"), QStringLiteral("AAPL"), 190),
                               holding(QStringLiteral("B"), QStringLiteral("MSFT"), 400)};
    scriptSession(*m_server, rows);
    m_server->on("GET", "/v1/portfolio", {200, portfolioWithCash(rows)});
    m_server->on("GET", "/v1/brokerages", {200, R"([{"id":"b1","name":"Futu","region":"HK","is_custom":false},
                           {"id":"b2","name":"Tiger","region":"SG","is_custom":false}])"});
    m_server->on("GET", "/v1/market/stock", {404, R"({"error":"No quote."})"});
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL(), token);
    QVERIFY(m_h->startAndLoad());
    m_cash = std::make_unique<BalanceEditor>(BalanceEditor::bindingFor(*m_h->workspace));
}

void EditUndoTest::cleanup()
{
    m_cash.reset();
    m_h.reset();
    m_server.reset();
}

void EditUndoTest::everyChangeUndoesAndRedoes_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("undoText");
    QTest::addColumn<bool>("savedFirst");

    const QList<std::tuple<const char *, Change, QString>> changes{
        {"add holding", [](Editors &e) { typeHolding(e.holdings, QStringLiteral("nvda"), 3, 120); },
         QStringLiteral("Add Position of NVDA")},
        {"change holding", [](Editors &e) { setQuantity(e.holdings, QStringLiteral("A"), 9); },
         QStringLiteral("Change Position of AAPL")},
        {"delete holding", [](Editors &e) { e.holdings.deleteRow(QStringLiteral("A")); },
         QStringLiteral("Delete Position of AAPL")},
        {"add cash",
         [](Editors &e) {
             e.cash.addCashRow();
             e.cash.setOriginalCash(e.cash.cashRows().last().id, 50);
             e.cash.saveCashRow();
         },
         QStringLiteral("Add USD Cash at Snowball")},
        {"change cash",
         [](Editors &e) {
             e.cash.beginCashEditing(e.cash.cashRows().first());
             e.cash.setOriginalCash(QStringLiteral("K"), 250);
             e.cash.saveCashRow();
         },
         QStringLiteral("Change USD Cash at Futu")},
        {"delete cash", [](Editors &e) { e.cash.deleteCashRow(QStringLiteral("K")); },
         QStringLiteral("Delete USD Cash at Futu")},
    };
    for (const auto &[name, change, text] : changes) {
        QTest::addRow("%s, undone before the save", name) << change << text << false;
        QTest::addRow("%s, undone after the save", name) << change << text << true;
    }
}

void EditUndoTest::everyChangeUndoesAndRedoes()
{
    QFETCH(Change, change);
    QFETCH(QString, undoText);
    QFETCH(bool, savedFirst);

    Workspace &w = *m_h->workspace;
    QUndoStack &stack = w.undoStack();
    const QStringList before = shape(w.rows(), w.cashRows());
    Editors editors{*m_h->editor, *m_cash};
    change(editors);
    const QStringList after = shape(w.rows(), w.cashRows());
    QVERIFY(after != before);
    QCOMPARE(stack.count(), 1);
    QCOMPARE(stack.undoText(), undoText);
    if (savedFirst) {
        QVERIFY(m_h->waitForSync());
        QCOMPARE(lastSent(*m_server), std::optional(after));
    }

    stack.undo();
    QCOMPARE(shape(w.rows(), w.cashRows()), before);
    QCOMPARE(stack.redoText(), undoText);
    QVERIFY(m_h->waitForSync());
    QCOMPARE(shape(w.syncedRows(), w.syncedCashRows()), before);
    // Saved or not yet, the service ends up holding the undone rows.
    QCOMPARE(lastSent(*m_server), std::optional(before));

    stack.redo();
    QCOMPARE(shape(w.rows(), w.cashRows()), after);
    QVERIFY(m_h->waitForSync());
    QCOMPARE(lastSent(*m_server), std::optional(after));
}

void EditUndoTest::nothingIsRecordedForWhatTheUserDidNotComplete()
{
    Workspace &w = *m_h->workspace;
    HoldingsEditor &e = *m_h->editor;
    // Cancelled edits, new rows given up, a save of an unchanged row, and a refreshed price.
    e.beginEditing(w.rows().first());
    AssetRow typed = w.rows().first();
    typed.quantity = 77;
    w.updateRow(typed.id, typed);
    e.cancelEditing();
    e.addRow();
    e.deleteRow(w.rows().last().id);
    e.addRow();
    e.cancelEditing();
    e.beginEditing(w.rows().first());
    e.saveEditingRow();
    m_cash->addCashRow();
    m_cash->cancelCashEditing();
    QCOMPARE(w.undoStack().count(), 0);
    QCOMPARE(w.rows().size(), 2);
    QCOMPARE(w.cashRows().size(), 1);
}

void EditUndoTest::theStackBelongsToTheAccount()
{
    Workspace &w = *m_h->workspace;
    setQuantity(*m_h->editor, QStringLiteral("A"), 9);
    QCOMPARE(w.undoStack().count(), 1);
    w.signOut();
    QCOMPARE(w.undoStack().count(), 0);
    QVERIFY(!w.undoStack().canUndo());
}

QTEST_GUILESS_MAIN(EditUndoTest)
#include "tst_editundo.moc"

#include "app/balances/BalanceEditor.h"
#include "tests/workspace/EditingHarness.h"

#include <QUndoStack>

#include <functional>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

// What a portfolio holds, in lines that compare rows without the fields no command touches.
QString holdingLine(const QString &id, const QString &code, double quantity)
{
    return QStringLiteral("holding %1 %2 %3").arg(id, code).arg(quantity);
}

QString cashLine(const QString &id, const QString &broker, const QString &currency, double cash)
{
    return QStringLiteral("cash %1 %2 %3 %4").arg(id, broker, currency).arg(cash);
}

QStringList shape(const QList<AssetRow> &rows, const QList<CashRow> &cash)
{
    QStringList lines;
    for (const AssetRow &row : rows)
        lines.append(holdingLine(row.id, row.code, row.quantity));
    for (const CashRow &row : cash)
        lines.append(cashLine(row.id, row.broker, row.currency, row.originalCash));
    return lines;
}

// The same lines, read from the body of the last portfolio save the service received; none when none came.
std::optional<QStringList> lastSent(const ScriptedServer &server)
{
    std::optional<QStringList> sent;
    for (const auto &request : requestsTo(server, "/v1/portfolio")) {
        if (request.method != "PUT")
            continue;
        const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
        const auto text = [](const QJsonValue &row, const char *name) { return row[QLatin1String(name)].toString(); };
        sent = QStringList();
        for (const QJsonValue &row : body[QStringLiteral("holdings")].toArray())
            sent->append(holdingLine(text(row, "id"), text(row, "code"), row[QStringLiteral("quantity")].toDouble()));
        for (const QJsonValue &row : body[QStringLiteral("cash_balances")].toArray())
            sent->append(cashLine(text(row, "id"), text(row, "broker"), text(row, "currency"),
                                  row[QStringLiteral("original_cash")].toDouble()));
    }
    return sent;
}

// The holdings beside one cash balance, K: USD 100 at Futu.
std::string portfolioWithCash(const QList<AssetRow> &rows)
{
    QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(portfolioJSON(rows))).object();
    body[QStringLiteral("cash_balances")] = QJsonDocument::fromJson(R"([{"id":"K","broker":"Futu","original_cash":100,
        "currency":"USD","fx_to_usd":1,"note":""}])")
                                                .array();
    return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
}

// One user change, made the way the pages make it.
using Change = std::function<void(HoldingsEditor &, BalanceEditor &)>;

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
    m_server->on("GET", "/v1/market/stock", {404, R"({"error":"No quote."})"});
    m_h = std::make_unique<EditingHarness>();
    m_h->open(m_server->baseURL(), QStringLiteral("token-a"));
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

    using H = HoldingsEditor;
    using C = BalanceEditor;
    const QList<std::tuple<const char *, Change, const char *>> changes{
        {"add holding", [](H &h, C &) { typeHolding(h, QStringLiteral("nvda"), 3, 120); }, "Add Position of NVDA"},
        {"change holding", [](H &h, C &) { setQuantity(h, QStringLiteral("A"), 9); }, "Change Position of AAPL"},
        {"delete holding", [](H &h, C &) { h.deleteRow(QStringLiteral("A")); }, "Delete Position of AAPL"},
        {"add cash",
         [](H &, C &c) {
             c.addCashRow();
             c.setOriginalCash(c.cashRows().last().id, 50);
             c.saveCashRow();
         },
         "Add USD Cash at Snowball"},
        {"change cash",
         [](H &, C &c) {
             c.beginCashEditing(c.cashRows().first());
             c.setOriginalCash(QStringLiteral("K"), 250);
             c.saveCashRow();
         },
         "Change USD Cash at Futu"},
        {"delete cash", [](H &, C &c) { c.deleteCashRow(QStringLiteral("K")); }, "Delete USD Cash at Futu"},
    };
    for (const auto &[name, change, text] : changes) {
        QTest::addRow("%s, undone before the save", name) << change << QString::fromLatin1(text) << false;
        QTest::addRow("%s, undone after the save", name) << change << QString::fromLatin1(text) << true;
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
    change(*m_h->editor, *m_cash);
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
    // Cancelled edits and unchanged saves are driven through the tables in tst_tablekeys; a new row can
    // also go by a delete before it was ever saved.
    Workspace &w = *m_h->workspace;
    m_h->editor->addRow();
    m_h->editor->deleteRow(w.rows().last().id);
    m_cash->addCashRow();
    m_cash->deleteCashRow(w.cashRows().last().id);
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
}

QTEST_GUILESS_MAIN(EditUndoTest)
#include "tst_editundo.moc"

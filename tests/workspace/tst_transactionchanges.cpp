// Edits and deletes of the ledger against a scripted service: the request each sends, the reload of the
// ledger and the holdings after it, a refusal that changes nothing, and undo and redo, which send the old
// fields back, record a deleted transaction again and follow it under its new id.

#include "app/workspace/TransactionChanges.h"
#include "app/workspace/TransactionRules.h"
#include "tests/workspace/WorkspaceHarness.h"

#include <QCoroTask>
#include <QUndoStack>

using namespace quillfern;
using namespace quillfern::testing;

namespace {

TransactionRecord stored(const char *id, double quantity)
{
    TransactionRecord r;
    r.id = QString::fromLatin1(id);
    r.broker = QStringLiteral("Futu");
    r.market = QStringLiteral("US");
    r.code = QStringLiteral("AAPL");
    r.transactionType = QStringLiteral("BUY");
    r.quantity = quantity;
    r.price = 150;
    r.currency = QStringLiteral("USD");
    r.sector = QStringLiteral("Information Technology");
    r.subSector = QStringLiteral("Semiconductors");
    r.tradedAt = QStringLiteral("2024-05-01T09:30:00Z");
    return r;
}

std::string recordJSON(const TransactionRecord &r)
{
    const QJsonObject body{{QStringLiteral("id"), r.id},
                           {QStringLiteral("broker"), r.broker},
                           {QStringLiteral("market"), r.market},
                           {QStringLiteral("code"), r.code},
                           {QStringLiteral("transaction_type"), r.transactionType},
                           {QStringLiteral("quantity"), r.quantity},
                           {QStringLiteral("price"), r.price},
                           {QStringLiteral("commission"), r.commission},
                           {QStringLiteral("currency"), r.currency},
                           {QStringLiteral("sector"), r.sector},
                           {QStringLiteral("sub_sector"), r.subSector},
                           {QStringLiteral("traded_at"), r.tradedAt},
                           {QStringLiteral("reason"), r.reason}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
}

// What a request to the ledger was: its method and target, and the quantity its body carried, if any.
QString line(const ScriptedServer::Received &request)
{
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
    QString text = QString::fromStdString(request.method + ' ' + request.target);
    if (body.contains(QStringLiteral("quantity")))
        text += QStringLiteral(" %1").arg(body[QStringLiteral("quantity")].toDouble());
    return text;
}

// The changes sent to the ledger, reloads left out, after the first skip of them.
QStringList ledgerChanges(const ScriptedServer &server, qsizetype skip = 0)
{
    QStringList lines;
    for (const auto &request : server.received()) {
        if (request.path.rfind("/v1/transactions", 0) == 0 && request.method != "GET")
            lines.append(line(request));
    }
    return lines.mid(skip);
}

} // namespace

class TransactionChangesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void aChangeIsSentThenBothListsReload_data();
    void aChangeIsSentThenBothListsReload();
    void aRefusalChangesNothing();
    void undoAndRedoSendTheChangeBackAndForth_data();
    void undoAndRedoSendTheChangeBackAndForth();

private:
    std::optional<APIFailure> change(bool edit);

    std::unique_ptr<ScriptedServer> m_server;
    std::unique_ptr<WorkspaceHarness> m_h;
    std::unique_ptr<TransactionChanges> m_changes;
};

void TransactionChangesTest::init()
{
    m_server = std::make_unique<ScriptedServer>();
    scriptSession(*m_server, {holding(QStringLiteral("H1"), QStringLiteral("AAPL"), 200)});
    m_server->on("GET", "/v1/transactions", {200, '[' + recordJSON(stored("t1", 10)) + ']'});
    m_server->on("PUT", "/v1/transactions/t1", {200, recordJSON(stored("t1", 12))});
    m_server->on("DELETE", "/v1/transactions/t1", {204, {}});
    m_server->on("POST", "/v1/transactions", {200, recordJSON(stored("t9", 10))});
    m_server->on("DELETE", "/v1/transactions/t9", {204, {}});
    m_h = std::make_unique<WorkspaceHarness>();
    m_h->open(m_server->baseURL(), QStringLiteral("token-1"));
    QVERIFY(m_h->startAndLoad());
    m_changes = std::make_unique<TransactionChanges>(*m_h->workspace, m_h->workspace->undoStack());
}

void TransactionChangesTest::cleanup()
{
    m_changes.reset();
    m_h.reset();
    m_server.reset();
}

std::optional<APIFailure> TransactionChangesTest::change(bool edit)
{
    TransactionCreateInput after = inputOf(stored("t1", 12));
    return edit ? QCoro::waitFor(m_changes->edit(stored("t1", 10), after))
                : QCoro::waitFor(m_changes->remove(stored("t1", 10)));
}

void TransactionChangesTest::aChangeIsSentThenBothListsReload_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("sent");
    QTest::newRow("edit") << true << QStringLiteral("PUT /v1/transactions/t1 12");
    QTest::newRow("delete") << false << QStringLiteral("DELETE /v1/transactions/t1");
}

void TransactionChangesTest::aChangeIsSentThenBothListsReload()
{
    QFETCH(bool, edit);
    QFETCH(QString, sent);
    // What the service holds after the change, which the reload must bring.
    m_server->on("GET", "/v1/transactions", {200, edit ? '[' + recordJSON(stored("t1", 12)) + ']' : "[]"});
    m_server->on("GET", "/v1/portfolio", {200, portfolioJSON({})});
    const std::size_t before = m_server->received().size();

    QCOMPARE(change(edit), std::nullopt);

    std::vector<std::string> after;
    const auto received = m_server->received();
    for (std::size_t i = before; i < received.size(); ++i)
        after.push_back(received[i].method + ' ' + received[i].path);
    QCOMPARE(after.size(), std::size_t(3));
    QCOMPARE(ledgerChanges(*m_server), QStringList{sent});
    QVERIFY(std::find(after.begin(), after.end(), "GET /v1/transactions") != after.end());
    QVERIFY(std::find(after.begin(), after.end(), "GET /v1/portfolio") != after.end());
    QCOMPARE(m_h->workspace->transactions().size(), edit ? 1 : 0);
    if (edit)
        QCOMPARE(m_h->workspace->transactions().first().quantity, 12.0);
    QVERIFY(m_h->workspace->rows().isEmpty());
    QCOMPARE(m_h->workspace->undoStack().count(), 1);
    QCOMPARE(m_changes->offersUndo(), !edit);
}

void TransactionChangesTest::aRefusalChangesNothing()
{
    const std::string sentence = "You cannot sell 12 of AAPL at Futu: the position holds 10.";
    m_server->on("PUT", "/v1/transactions/t1", {400, R"({"error":")" + sentence + R"(","field":"quantity"})"});
    const std::size_t before = m_server->received().size();
    const auto failure = change(true);
    QVERIFY(failure);
    QVERIFY(failure->description().contains(QString::fromStdString(sentence)));
    // Nothing reloads, and nothing is there to undo.
    QCOMPARE(m_server->received().size(), before + 1);
    QCOMPARE(m_h->workspace->undoStack().count(), 0);
    QCOMPARE(m_h->workspace->transactions().first().quantity, 10.0);
}

void TransactionChangesTest::undoAndRedoSendTheChangeBackAndForth_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QStringList>("sent"); // undo, redo, undo
    QTest::newRow("edit") << true
                          << QStringList{QStringLiteral("PUT /v1/transactions/t1 10"),
                                         QStringLiteral("PUT /v1/transactions/t1 12"),
                                         QStringLiteral("PUT /v1/transactions/t1 10")};
    // Recorded again, the transaction has the id t9, which redo deletes.
    QTest::newRow("delete") << false
                            << QStringList{QStringLiteral("POST /v1/transactions 10"),
                                           QStringLiteral("DELETE /v1/transactions/t9"),
                                           QStringLiteral("POST /v1/transactions 10")};
}

void TransactionChangesTest::undoAndRedoSendTheChangeBackAndForth()
{
    QFETCH(bool, edit);
    QFETCH(QStringList, sent);
    QCOMPARE(change(edit), std::nullopt);
    QUndoStack &stack = m_h->workspace->undoStack();
    // Pressed at once: each waits for the one before it.
    stack.undo();
    stack.redo();
    stack.undo();
    QTRY_COMPARE(ledgerChanges(*m_server, 1), sent);
    QTRY_VERIFY(!m_changes->isBusy());
    QVERIFY(m_changes->status().startsWith(QStringLiteral("Undone: ")));

    // An undo the service refuses leaves the change in place: the redo after it has nothing to send.
    stack.redo();
    QTRY_COMPARE(ledgerChanges(*m_server, 1).size(), 4);
    m_server->on("PUT", "/v1/transactions/t1", {500, R"({"error":"Down for a moment."})"});
    m_server->on("POST", "/v1/transactions", {500, R"({"error":"Down for a moment."})"});
    stack.undo();
    QTRY_COMPARE(ledgerChanges(*m_server, 1).size(), 5);
    QTRY_VERIFY(m_changes->status().startsWith(QStringLiteral("Could not undo")));
    stack.redo();
    QTest::qWait(50);
    QCOMPARE(ledgerChanges(*m_server, 1).size(), 5);
}

QTEST_GUILESS_MAIN(TransactionChangesTest)
#include "tst_transactionchanges.moc"

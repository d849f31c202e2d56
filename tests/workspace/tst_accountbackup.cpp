// Backing an account up to a file and restoring it, against the real service on a temporary SQLite file:
// the round trip with the app's preferences, files refused before anything is sent, and a backup the
// service refuses, which changes nothing.

#include "api/WireCoding.h"
#include "app/workspace/AccountBackupFlow.h"
#include "tests/support/QuietConsole.h"
#include "tests/support/ServiceProcess.h"
#include "tests/workspace/WorkspaceHarness.h"

#include <QUndoCommand>

using namespace quillfern;
using namespace quillfern::testing;
using namespace Qt::StringLiterals;

namespace {

TransactionCreateInput trade(const QString &type, double quantity, double price, const QString &day)
{
    return TransactionCreateInput{u"IBKR"_s,       u"US"_s, u"AAPL"_s, type, quantity, price, 1, u"USD"_s,
                                  u"Information Technology"_s, u"Semiconductors"_s, day + u"T10:00:00Z"_s,
                                  u"kept"_s,       {},      {},        {}};
}

} // namespace

class AccountBackupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void backupRestoresTheAccountAndItsPreferences();
    void unfitFilesAreRefusedBeforeSending_data();
    void unfitFilesAreRefusedBeforeSending();
    void aBackupTheServiceRefusesChangesNothing();
    void savesWaitWhileTheAccountIsReplaced();

private:
    Workspace &workspace() { return *m_harness->workspace; }
    AccountBackup fetched()
    {
        const auto backup = QCoro::waitFor(PortfolioAPI::fetchBackup(endpoint(), m_token));
        return backup ? *backup : AccountBackup{};
    }
    APIEndpoint endpoint() { return APIEndpoint{m_service->baseURL(), &m_harness->network}; }

    QTemporaryDir m_folder;
    std::unique_ptr<ServiceProcess> m_service;
    std::unique_ptr<WorkspaceHarness> m_harness;
    QString m_token;
    int m_runs = 0;
};

void AccountBackupTest::init()
{
    failOnConsoleMessages();
    m_service = std::make_unique<ServiceProcess>(
        u"sqlite:"_s + m_folder.filePath(u"service-%1.sqlite3"_s.arg(++m_runs)),
        QStringList{u"--quiet"_s});
    QVERIFY2(m_service->start(), qPrintable(m_service->output()));
    m_token = signInToken(m_service->baseURL(), u"Ann"_s, u"ann@example.com"_s);
    QVERIFY(!m_token.isEmpty());
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->localCopyFolder = m_harness->folder.filePath(u"copies"_s);

    // Holdings and cash typed in, a custom brokerage, and a ledger with a sale.
    const APIEndpoint service = endpoint();
    QVERIFY(QCoro::waitFor(PortfolioAPI::savePortfolio(
        service, m_token,
        {AssetRow{newRowID(), u"HK"_s, u"Financials"_s, u"Banks"_s, u"0005"_s, u"Futu"_s, 50.5, 100, 52}},
        {CashRow{newRowID(), u"Futu"_s, 5000, u"HKD"_s, 0.128}})));
    QVERIFY(QCoro::waitFor(PortfolioAPI::createBrokerage(service, m_token, u"Ann's Broker"_s)));
    for (const auto &input : {trade(u"BUY"_s, 10, 100, u"2026-02-02"_s), trade(u"SELL"_s, 4, 120, u"2026-03-02"_s)})
        QVERIFY(QCoro::waitFor(PortfolioAPI::createTransaction(service, m_token, input)));

    m_harness->open(m_service->baseURL(), m_token);
    QVERIFY(m_harness->startAndLoad());
    QCOMPARE(countsOf(workspace()).transactions, 2);
    QCOMPARE(countsOf(workspace()).customBrokerages, 1);
}

void AccountBackupTest::cleanup()
{
    m_harness.reset();
    m_service.reset();
}

void AccountBackupTest::backupRestoresTheAccountAndItsPreferences()
{
    Workspace &w = workspace();
    w.setReportingCurrencyCode(u"JPY"_s);
    w.setLanguageCode(u"ja-JP"_s);
    const QList<AssetRow> rows = w.rows();
    const QList<CashRow> cash = w.cashRows();
    const QList<TransactionRecord> ledger = w.transactions();
    const QString path = m_folder.filePath(defaultBackupFileName(QDate(2026, 12, 8)));
    QCOMPARE(QFileInfo(path).fileName(), u"Quillfern Backup 2026-12-08.json"_s);

    const auto failure = QCoro::waitFor(backUpAccount(w, path));
    QVERIFY2(!failure, qPrintable(failure.value_or(QString())));
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    const auto file = readBackupFile(path, u"en-US"_s);
    QVERIFY2(file, qPrintable(file ? QString() : file.error()));
    QCOMPARE(countsOf(*file), countsOf(w));
    QCOMPARE(file->preferences, (BackupPreferences{u"JPY"_s, u"ja-JP"_s}));

    // The account moves on: another trade, another brokerage, other preferences, an edit on the undo stack and
    // one not sent yet.
    QVERIFY(!QCoro::waitFor(w.createTransaction(trade(u"BUY"_s, 5, 90, u"2026-04-01"_s))));
    QCoro::waitFor(w.createCustomBrokerage(u"Second"_s));
    w.setReportingCurrencyCode(u"USD"_s);
    w.setLanguageCode(u"en-US"_s);
    w.undoStack().push(new QUndoCommand(u"typed"_s));
    AssetRow edited = w.rows().first();
    edited.quantity = 1;
    w.updateRow(edited.id, edited);
    w.schedulePortfolioSave();
    QVERIFY(countsOf(w) != countsOf(*file));

    const auto restored = QCoro::waitFor(restoreAccount(w, *file));
    QVERIFY2(!restored, qPrintable(restored.value_or(QString())));
    QCOMPARE(w.rows(), rows);
    QCOMPARE(w.cashRows(), cash);
    QCOMPARE(w.transactions(), ledger);
    QCOMPARE(countsOf(w), countsOf(*file));
    QCOMPARE(w.undoStack().count(), 0);
    QCOMPARE(w.reportingCurrencyCode(), u"JPY"_s);
    QCOMPARE(w.languageCode(), u"ja-JP"_s);
    QVERIFY(w.portfolioMatchesSyncedData());

    // The next window finds the restored account, not the edit that was waiting on this computer.
    m_harness->open(m_service->baseURL(), m_token);
    QVERIFY(m_harness->startAndLoad());
    QCOMPARE(workspace().rows(), rows);
}

void AccountBackupTest::unfitFilesAreRefusedBeforeSending_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("error");
    const QByteArray newer = R"({"format":"quillfern-backup","version":2,"created_at":"2030-01-01T00:00:00Z"})";
    QTest::newRow("newer format") << newer << u"en-US"_s
                                  << u"This backup was made by a newer version of Quillfern (format 2). Update "
                                     "Quillfern to restore it."_s;
    QTest::newRow("newer format, Japanese") << newer << u"ja-JP"_s
                                            << u"このバックアップは新しいバージョンの Quillfern で作成されています（形式 "
                                               "2）。Quillfern を更新してから復元してください。"_s;
    QTest::newRow("another program's JSON") << QByteArray(R"({"format":"other","version":1})") << u"en-US"_s
                                            << u"This file is not a Quillfern backup."_s;
    QTest::newRow("not JSON at all") << QByteArray("Date,Type\n2026-01-01,BUY\n") << u"ko-KR"_s
                                     << u"이 파일은 Quillfern 백업이 아닙니다."_s;
    QTest::newRow("a field of the wrong type")
        << QByteArray(R"({"format":"quillfern-backup","version":1,"created_at":"2026-12-08T09:00:00Z",
                         "holdings":[{"market":"US","sector":"","sub_sector":"","code":"AAPL","currency":"USD",
                         "broker":"IBKR","average_price":1,"quantity":"ten","current_price":1,"fx_to_usd":1,
                         "note":""}],"cash_balances":[],"transactions":[],"ledger_rows":[],"brokerages":[]})")
        << u"en-US"_s << u"This backup is damaged at holdings[0].quantity and can't be restored."_s;
    QTest::newRow("a list left out")
        << QByteArray(R"({"format":"quillfern-backup","version":1,"created_at":"2026-12-08T09:00:00Z","holdings":[]})")
        << u"zh-CN"_s << u"此备份在 cash_balances 处已损坏，无法恢复。"_s;
    // A backup cut short still says it is one, and is refused as damaged rather than unknown.
    AccountBackup whole{u"quillfern-backup"_s, 1, u"2026-12-08T09:00:00Z"_s, {}, {}, {}, {}, {}, std::nullopt};
    whole.holdings.append(ServerHolding{u"h1"_s, u"US"_s, {}, {}, u"AAPL"_s, u"USD"_s, u"IBKR"_s, 1, 2, 3, 1, {}});
    const QByteArray bytes = *encodeJSON(whole);
    QTest::newRow("cut short") << bytes.left(bytes.size() / 2) << u"en-US"_s
                               << u"This backup is damaged and can't be restored ("_s;
}

void AccountBackupTest::unfitFilesAreRefusedBeforeSending()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, language);
    QFETCH(QString, error);
    const auto read = readBackup(bytes, language);
    QVERIFY(!read);
    QVERIFY2(read.error().startsWith(error), qPrintable(read.error()));
}

void AccountBackupTest::aBackupTheServiceRefusesChangesNothing()
{
    Workspace &w = workspace();
    const AccountBackup before = fetched();
    const QList<AssetRow> rows = w.rows();
    w.undoStack().push(new QUndoCommand(u"typed"_s));

    // A sale of more than the ledger ever bought cannot be replayed.
    AccountBackup broken = before;
    QVERIFY(broken.transactions.size() == 2);
    broken.transactions.last().quantity = 400;
    const auto failure = QCoro::waitFor(restoreAccount(w, broken));
    QVERIFY(failure);
    QVERIFY2(failure->startsWith(u"The account couldn't be restored, and nothing was changed: "_s), qPrintable(*failure));

    AccountBackup after = fetched();
    after.createdAt = before.createdAt;
    QCOMPARE(after, before);
    QCOMPARE(w.rows(), rows);
    QCOMPARE(w.undoStack().count(), 1);
}

// An edit made while the service replaces the account is not saved over the restored one; when the
// restore fails, it goes out as it would have.
void AccountBackupTest::savesWaitWhileTheAccountIsReplaced()
{
    Workspace &w = workspace();
    const QList<ServerHolding> stored = fetched().holdings;
    w.prepareAccountReplacement();
    AssetRow edited = w.rows().first();
    edited.quantity = 7;
    w.updateRow(edited.id, edited);
    w.saveNow();
    QTest::qWait(50);
    QVERIFY(!w.isSavingPortfolio());
    QCOMPARE(fetched().holdings, stored);

    w.abandonAccountReplacement();
    w.saveNow();
    QTRY_VERIFY_WITH_TIMEOUT(w.portfolioMatchesSyncedData() && !w.isSavingPortfolio(), 10000);
    QCOMPARE(fetched().holdings.first().quantity, 7.0);
}

QTEST_MAIN(AccountBackupTest)
#include "tst_accountbackup.moc"

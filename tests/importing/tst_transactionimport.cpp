// The import session without its wizard: files in the encodings brokers use read, mapped and planned on the
// worker; a stop that leaves nothing stale; mapping edits that plan the kept records again; kept mappings
// offered to the next file; and a file booked through the real service, booked again, and refused at a line.

#include "app/workspace/TransactionImport.h"
#include "app/workspace/Workspace.h"
#include "tests/importing/ImportFiles.h"
#include "tests/support/DevelopmentSignInSheet.h"
#include "tests/support/ServiceProcess.h"
#include "tests/workspace/WorkspaceHarness.h"

#include <QSignalSpy>

using namespace quillfern;
using namespace quillfern::testing;
using exchange::ImportField;
using exchange::ImportMapping;

using MappingEdit = std::function<void(TransactionImport &)>;
Q_DECLARE_METATYPE(MappingEdit)
using KeptMappings = QList<std::pair<QString, ImportMapping>>;
Q_DECLARE_METATYPE(KeptMappings)

namespace {

const QString broker = QStringLiteral("IBKR");

bool settle(TransactionImport &session)
{
    return QTest::qWaitFor([&session] { return !session.isBusy(); }, 30000);
}

QString problemKey(const TransactionImport &session)
{
    return session.problem() ? session.problem()->key : QString();
}

void editMapping(TransactionImport &session, const std::function<void(ImportMapping &)> &edit)
{
    ImportMapping mapping = session.mapping();
    edit(mapping);
    session.setMapping(mapping);
}

} // namespace

class TransactionImportTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void readsAndPlans_data();
    void readsAndPlans();
    void aFileTooLargeIsRefusedUnread();
    void aStoppedReadLeavesNothingStale();
    void editsPlanTheKeptRecordsAgain_data();
    void editsPlanTheKeptRecordsAgain();
    void anotherEncodingReadsTheBytesAgain();
    void keptMappingFitsTheNextFile_data();
    void keptMappingFitsTheNextFile();
    void bookingAFile();

private:
    // A session over a workspace that is not signed in: an empty ledger and no holdings.
    std::unique_ptr<TransactionImport> openedOffline(const QByteArray &bytes);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<WorkspaceHarness> m_harness;
};

void TransactionImportTest::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_harness = std::make_unique<WorkspaceHarness>();
    m_harness->open(QUrl(QStringLiteral("http://127.0.0.1:9")));
}

std::unique_ptr<TransactionImport> TransactionImportTest::openedOffline(const QByteArray &bytes)
{
    auto session = std::make_unique<TransactionImport>(*m_harness->workspace);
    session->setBroker(broker);
    session->open(writeFile(*m_folder, QStringLiteral("file.csv"), bytes));
    return session;
}

void TransactionImportTest::readsAndPlans_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("sampleHolds");
    QTest::addColumn<int>("ok");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QStringList>("unclassified");
    QTest::addColumn<QString>("problem");

    QTest::newRow("Shift_JIS, a title above the headings")
        << encoded(japaneseHistory(), "Shift_JIS") << QStringLiteral("Shift_JIS") << QStringLiteral("トヨタ自動車") << 3
        << 1 << QStringList{QStringLiteral("JP:7203"), QStringLiteral("JP:6758")} << QString();
    const QString chinese = QStringLiteral("成交日期\t买卖方向\t证券代码\t市场\t成交数量\t成交价格\t佣金\t币种\t备注\n"
                                           "2024-03-01\t买入\t600519\t上海\t100\t1700.5\t5\tCNY\t贵州茅台首次建仓\n"
                                           "2024-03-05\t卖出\t600519\t上海\t20\t1750\t5\tCNY\t部分止盈卖出\n");
    QTest::newRow("GB18030, tabs") << encoded(chinese, "GB18030") << QStringLiteral("GB18030")
                                   << QStringLiteral("贵州茅台") << 2 << 0 << QStringList{QStringLiteral("CN:600519")}
                                   << QString();
    QTest::newRow("UTF-8 with a byte order mark")
        << QByteArray("\xEF\xBB\xBF") + englishExport().toUtf8() << QStringLiteral("UTF-8") << QStringLiteral("NEWCO")
        << 3 << 1 << QStringList{QStringLiteral("US:NEWCO")} << QString();
    QTest::newRow("semicolons and decimal commas")
        << QByteArray("Date;Type;Symbol;Market;Quantity;Price;Currency\n"
                      "01.03.2024;Buy;SAP;DE;10;1.234,50;EUR\n02.03.2024;Sell;SAP;DE;4;1.250,00;EUR\n")
        << QStringLiteral("UTF-8") << QStringLiteral("1.234,50") << 2 << 0 << QStringList{QStringLiteral("DE:SAP")}
        << QString();
    QTest::newRow("empty") << QByteArray() << QString() << QString() << 0 << 0 << QStringList() << "importEmptyFile";
    QTest::newRow("a quote never closed")
        << QByteArray("Date,Type\n2024-01-01,\"Buy\n") << QStringLiteral("UTF-8") << QStringLiteral("Buy") << 0 << 0
        << QStringList() << "importUnterminatedQuote";
}

void TransactionImportTest::readsAndPlans()
{
    QFETCH(QByteArray, bytes);
    const auto session = openedOffline(bytes);
    QVERIFY(session->isBusy());
    QVERIFY(settle(*session));
    QFETCH(QString, problem);
    QCOMPARE(problemKey(*session), problem);
    QTEST(session->mapping().encoding, "encoding");
    QFETCH(QString, sampleHolds);
    QVERIFY2(session->sample().contains(sampleHolds), qPrintable(session->sample()));
    QTEST(session->plan().ok, "ok");
    QTEST(session->plan().errors, "errors");
    QCOMPARE(session->plan().duplicates, 0);
    QTEST(session->unclassifiedCodes(), "unclassified");
    QCOMPARE(session->hasPlan(), problem.isEmpty());
    if (problem.isEmpty())
        QCOMPARE(session->contentHash(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void TransactionImportTest::aFileTooLargeIsRefusedUnread()
{
    QFile file(m_folder->filePath(QStringLiteral("large.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(exchange::kMaxImportBytes + 1));
    file.close();
    TransactionImport session(*m_harness->workspace);
    session.open(file.fileName());
    QVERIFY(settle(session));
    QCOMPARE(problemKey(session), QStringLiteral("importFileTooLarge"));
    QVERIFY(session.contentHash().isEmpty());
    QVERIFY(session.table().records.isEmpty());
    QVERIFY(session.problemText()->contains(QStringLiteral("100")));
}

void TransactionImportTest::aStoppedReadLeavesNothingStale()
{
    QByteArray large = englishExport().toUtf8();
    const QByteArray rows = large.mid(large.indexOf('\n') + 1);
    while (large.size() < 20 * 1024 * 1024)
        large += rows;
    const auto session = openedOffline(large);
    QTRY_VERIFY_WITH_TIMEOUT(session->progress() > 0 || !session->isBusy(), 20000);
    session->cancel();
    QVERIFY(!session->isBusy());
    QVERIFY(session->wasStopped());
    QVERIFY(session->table().records.isEmpty());
    QVERIFY(!session->hasPlan());

    // The stopped run's answer never lands on the next file's.
    session->open(writeFile(*m_folder, QStringLiteral("small.csv"), englishExport().toUtf8()));
    QVERIFY(settle(*session));
    QVERIFY(!session->wasStopped());
    QCOMPARE(session->table().records.size(), 5);
    QCOMPARE(session->plan().ok, 3);
}

void TransactionImportTest::editsPlanTheKeptRecordsAgain_data()
{
    QTest::addColumn<MappingEdit>("edit");
    QTest::addColumn<bool>("readsAgain");
    QTest::addColumn<int>("ok");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("problem");

    QTest::newRow("a word matched to a type by hand") << MappingEdit([](TransactionImport &session) {
        editMapping(session, [](ImportMapping &mapping) {
            mapping.typeValues.insert(QStringLiteral("journal"), QStringLiteral("BUY"));
        });
    }) << false << 4 << 0 << QString();
    QTest::newRow("the date column taken away") << MappingEdit([](TransactionImport &session) {
        editMapping(session, [](ImportMapping &mapping) { mapping.columns.remove(ImportField::Date); });
    }) << false << 0 << 0 << QStringLiteral("importNeedsDateColumn");
    QTest::newRow("the headings read as a row") << MappingEdit([](TransactionImport &session) {
        editMapping(session, [](ImportMapping &mapping) { mapping.hasHeader = false; });
    }) << false << 3 << 2 << QString();
    QTest::newRow("another delimiter") << MappingEdit([](TransactionImport &session) {
        session.setDialect({u';', u'"'});
    }) << true << 0 << 0 << QStringLiteral("importNeedsDateColumn");
}

void TransactionImportTest::editsPlanTheKeptRecordsAgain()
{
    const auto session = openedOffline(englishExport().toUtf8());
    QVERIFY(settle(*session));
    QCOMPARE(session->plan().ok, 3);
    QSignalSpy tableChanged(session.get(), &TransactionImport::tableChanged);
    QFETCH(MappingEdit, edit);
    edit(*session);
    QFETCH(bool, readsAgain);
    QCOMPARE(session->work(), readsAgain ? TransactionImport::Work::Reading : TransactionImport::Work::Planning);
    QVERIFY(settle(*session));
    QCOMPARE(tableChanged.size() > 0, readsAgain);
    QCOMPARE(session->table().records.size(), 5);
    QTEST(session->plan().ok, "ok");
    QTEST(session->plan().errors, "errors");
    QTEST(problemKey(*session), "problem");
}

void TransactionImportTest::anotherEncodingReadsTheBytesAgain()
{
    const auto session = openedOffline(encoded(japaneseHistory(), "Shift_JIS"));
    QVERIFY(settle(*session));
    QCOMPARE(session->detectedEncoding().name, QStringLiteral("Shift_JIS"));
    session->setEncoding(QStringLiteral("windows-1252"));
    QCOMPARE(session->work(), TransactionImport::Work::Reading);
    QVERIFY(settle(*session));
    QVERIFY(!session->sample().contains(QStringLiteral("トヨタ")));
    QCOMPARE(session->mapping().encoding, QStringLiteral("windows-1252"));
    session->setEncoding(QStringLiteral("Shift_JIS"));
    QVERIFY(settle(*session));
    QVERIFY(session->sample().contains(QStringLiteral("トヨタ")));
    QCOMPARE(session->plan().ok, 3);
    // The detected encoding stays what the bytes said, for the picker to mark.
    QCOMPARE(session->detectedEncoding().name, QStringLiteral("Shift_JIS"));
}

void TransactionImportTest::keptMappingFitsTheNextFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<KeptMappings>("kept");
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("quantityColumn");
    QTest::addColumn<QString>("journal");

    // A heading no guess knows, which the user matched to the quantity; the odd word is a fee; and a note
    // column past the file's width.
    const QString file = QStringLiteral("Date,Action,Symbol,Stk,Price,Currency\n2024-03-01,Buy,MSFT,10,400,USD\n");
    ImportMapping made = exchange::guessMapping(exchange::readCsv(file, {}), QStringLiteral("UTF-8"), {});
    made.columns.insert(ImportField::Quantity, 3);
    made.typeValues.insert(QStringLiteral("journal"), QStringLiteral("FEE"));
    made.columns.insert(ImportField::Note, 20);
    const QString reordered = QStringLiteral("Symbol,Date,Action,Price,Stk,Currency\nMSFT,2024-03-01,Buy,400,10,USD\n");
    const QString other = QStringLiteral("Other / Securities");

    QTest::newRow("nothing kept") << file << KeptMappings() << int(MappingSource::Guessed) << -1 << QString();
    QTest::newRow("same headings, kept for another brokerage")
        << file << KeptMappings{{other, made}} << int(MappingSource::SameHeadings) << 3 << QStringLiteral("FEE");
    QTest::newRow("the brokerage's mapping, its columns found by heading")
        << reordered << KeptMappings{{broker, made}} << int(MappingSource::SameBroker) << 4 << QStringLiteral("FEE");
    QTest::newRow("another brokerage's mapping of other headings")
        << reordered << KeptMappings{{other, made}} << int(MappingSource::Guessed) << -1 << QString();
}

void TransactionImportTest::keptMappingFitsTheNextFile()
{
    QFETCH(KeptMappings, kept);
    // Kept through the preferences, as the session keeps them.
    ImportMappings store(m_harness->workspace->preferences());
    for (const auto &[name, mapping] : kept)
        store.save(name, mapping);
    QCOMPARE(store.all().size(), kept.size());

    QFETCH(QString, file);
    const exchange::CsvTable table = exchange::readCsv(file, {});
    const ImportMapping guessed = exchange::guessMapping(table, QStringLiteral("UTF-8"), {});
    const FittedMapping fitted = fitSavedMapping(store.all(), guessed, table, broker);
    QTEST(int(fitted.source), "source");
    QTEST(fitted.mapping.columns.value(ImportField::Quantity, -1), "quantityColumn");
    QTEST(fitted.mapping.typeValues.value(QStringLiteral("journal")), "journal");
    QVERIFY(!fitted.mapping.columns.contains(ImportField::Note));
    QCOMPARE(fitted.mapping.defaultBroker, fitted.source == MappingSource::Guessed ? QString() : broker);
}

void TransactionImportTest::bookingAFile()
{
    ServiceProcess service(QStringLiteral("sqlite:") + m_folder->filePath(QStringLiteral("service.sqlite3")),
                           {QStringLiteral("--quiet")});
    QVERIFY2(service.start(), qPrintable(service.output()));
    m_harness->open(service.baseURL(), {},
                    developmentSignIn(QStringLiteral("Ann Lee"), QStringLiteral("ann@example.com")));
    QVERIFY(m_harness->startAndLoad());
    QSignalSpy loaded(m_harness->workspace.get(), &Workspace::sessionLoaded);
    m_harness->auth->signInWithGoogle();
    QVERIFY(loaded.wait(20000));
    Workspace &workspace = *m_harness->workspace;
    const QString path = writeFile(*m_folder, QStringLiteral("export.csv"), englishExport().toUtf8());

    auto session = std::make_unique<TransactionImport>(workspace);
    session->setBroker(broker);
    session->open(path);
    QVERIFY(settle(*session));
    QCOMPARE(session->unclassifiedCodes(), QStringList{QStringLiteral("US:NEWCO")});
    // A new code needs its sector, and a row with an error needs the user's leave to be left out.
    QVERIFY(!session->canCommit(true));
    const QString sector = workspace.gicsSectorNames().first();
    const QString industry = workspace.gicsSubIndustryNames(sector).first();
    session->classify(QStringLiteral("US:NEWCO"), {sector, industry});
    QVERIFY(!session->canCommit(false));
    QVERIFY(session->canCommit(true));
    QSignalSpy committed(session.get(), &TransactionImport::committed);
    session->commit(true);
    QCOMPARE(session->work(), TransactionImport::Work::Committing);
    QVERIFY(committed.wait(20000));
    QVERIFY2(!session->commitError(), qPrintable(session->commitError().value_or(QString())));
    QCOMPARE(session->resultText(), QStringLiteral("Imported 3 transactions. 1 row with an error was left out."));
    QCOMPARE(workspace.transactions().size(), 3);
    const auto newco = std::find_if(workspace.rows().cbegin(), workspace.rows().cend(),
                                    [](const AssetRow &row) { return row.code == u"NEWCO"; });
    QVERIFY(newco != workspace.rows().cend());
    QCOMPARE(newco->sector, sector);
    QCOMPARE(newco->broker, broker);
    QCOMPARE(ImportMappings(workspace.preferences()).forBroker(broker), session->mapping());

    // The same file again: every row is already booked, and the service knows the file.
    session = std::make_unique<TransactionImport>(workspace);
    QCOMPARE(session->broker(), broker);
    session->open(path);
    QVERIFY(settle(*session));
    QCOMPARE(session->mappingSource(), MappingSource::SameHeadings);
    QCOMPARE(session->plan().duplicates, 3);
    QCOMPARE(session->plan().ok, 0);
    QVERIFY(session->unclassifiedCodes().isEmpty());
    session->commit(true);
    QSignalSpy again(session.get(), &TransactionImport::committed);
    QVERIFY(again.wait(20000));
    QCOMPARE(session->resultText(), QStringLiteral("This file was imported before; nothing changed."));
    QCOMPARE(workspace.transactions().size(), 3);

    // A sale of more than is held: nothing is booked, and the user learns which line of the file.
    const QString oversold = writeFile(*m_folder, QStringLiteral("oversold.csv"),
                                       QByteArray("Date,Action,Symbol,Quantity,Price,Currency\n"
                                                  "2024-04-01,Buy,MSFT,1,410,USD\n"
                                                  "2024-04-02,Sell,MSFT,500,420,USD\n"));
    session->open(oversold);
    QVERIFY(settle(*session));
    QVERIFY(session->canCommit(false));
    session->commit(false);
    QVERIFY(again.wait(20000));
    QVERIFY(!session->result());
    QCOMPARE(session->refusedLine(), 3);
    QVERIFY2(session->commitError()->startsWith(QStringLiteral("Nothing was imported. Line 3 of the file: ")),
             qPrintable(*session->commitError()));
    QCOMPARE(workspace.transactions().size(), 3);
}

QTEST_MAIN(TransactionImportTest)
#include "tst_transactionimport.moc"

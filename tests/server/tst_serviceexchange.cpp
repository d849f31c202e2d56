// Data in and out of the service: an import books all of a file or none of it, once, skipping what the ledger
// already holds; a backup restored into another account gives the same account, and a file that cannot be
// restored changes nothing.

#include "ServiceFixture.h"

#include "api/PortfolioSync.h"
#include "api/WireCoding.h"
#include "core/exchange/CsvWriter.h"
#include "core/exchange/ExportTables.h"
#include "core/exchange/ImportPlan.h"
#include "core/exchange/TextDecoding.h"

#include <QCoro/QCoroTask>
#include <QCryptographicHash>
#include <QTest>

using namespace quillfern;
using namespace quillfern::servicetest;
using namespace Qt::Literals::StringLiterals;

namespace {

QString hashOf(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

TransactionImportRequest importOf(const QStringList &steps, const QString &file = {})
{
    TransactionImportRequest request{hashOf(file.isEmpty() ? steps.join(u'\n') : file), {}, u"trades.csv"_s};
    for (int i = 0; i < steps.size(); ++i)
        request.transactions.append(step(steps[i], i));
    return request;
}

// What two backups of equal accounts share: everything but when they were made and the brokerages' ids.
AccountBackup comparable(AccountBackup backup)
{
    backup.createdAt.clear();
    for (BrokerageOption &brokerage : backup.brokerages)
        brokerage.id.clear();
    return backup;
}

} // namespace

class ServiceExchangeTest : public ServiceFixture {
    Q_OBJECT

private:
    Raw send(const QString &token, const TransactionImportRequest &request)
    {
        return raw(m_service->baseURL(), "POST", "/v1/transactions/import", token,
                   encodeJSON(request)->toStdString());
    }

    AccountBackup backupOf(const QString &token)
    {
        const auto backup = QCoro::waitFor(PortfolioAPI::fetchBackup(endpoint(), token));
        return backup ? *backup : AccountBackup{};
    }

    // Typed rows, a custom brokerage and a ledger that reaches them: everything a backup carries.
    void fillAccount(const QString &token)
    {
        PortfolioPutRequest typed{{ServerHolding{std::nullopt, u"HK"_s, u"Financials"_s, u"Banks"_s, u"0005"_s,
                                                 u"HKD"_s, u"Futu"_s, 50.5, 100, 52, 0.128, u"typed"_s}},
                                  {ServerCashBalance{std::nullopt, u"Futu"_s, 5000, u"HKD"_s, 0.128, u"typed"_s}},
                                  u"test"_s};
        QCOMPARE(raw(m_service->baseURL(), "PUT", "/v1/portfolio", token, encodeJSON(typed)->toStdString()).status,
                 200);
        QVERIFY(QCoro::waitFor(PortfolioAPI::createBrokerage(endpoint(), token, u"Ann's Broker"_s)));
        const Raw booked = send(token, importOf({u"BUY Futu HK 0005 20 60"_s, u"BUY IBKR US AAPL 10 100 5"_s,
                                                 u"SELL IBKR US AAPL 4 120 1"_s, u"DIVIDEND Futu HKD 300"_s}));
        QCOMPARE(booked.status, 200);
    }

private Q_SLOTS:
    void importBooksAllOrNothing_data();
    void importBooksAllOrNothing();
    void sameFileBooksOnce();
    void largeImportsPassTheBodyLimit();
    void exportedLedgerImportsAsItWas_data();
    void exportedLedgerImportsAsItWas();
    void restoredAccountIsTheSame();
    void unfitBackupsChangeNothing_data();
    void unfitBackupsChangeNothing();
};

void ServiceExchangeTest::importBooksAllOrNothing_data()
{
    QTest::addColumn<QStringList>("booked");    // posted one by one before the import
    QTest::addColumn<QStringList>("imported");  // the import's rows, a day apart after the booked ones
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("counts");        // "imported skipped", or the refused "row field"
    QTest::addColumn<double>("held");           // AAPL held at IBKR afterwards

    QTest::newRow("books and replays once")
        << QStringList{} << QStringList{u"BUY IBKR US AAPL 10 100"_s, u"SELL IBKR US AAPL 4 120"_s} << 200
        << u"2 0"_s << 6.0;
    QTest::newRow("a booked twin is skipped")
        << QStringList{u"@2026-02-01 BUY IBKR US AAPL 10 100"_s}
        << QStringList{u"@2026-02-01 BUY IBKR US AAPL 10 100"_s, u"BUY IBKR US AAPL 5 110"_s} << 200 << u"1 1"_s
        << 15.0;
    QTest::newRow("twins within one file are both booked")
        << QStringList{} << QStringList{u"@2026-03-02 BUY IBKR US AAPL 1 100"_s, u"@2026-03-02 BUY IBKR US AAPL 1 100"_s}
        << 200 << u"2 0"_s << 2.0;
    QTest::newRow("a sale beyond the position names its row")
        << QStringList{} << QStringList{u"BUY IBKR US AAPL 10 100"_s, u"SELL IBKR US AAPL 20 120"_s} << 400
        << u"1 quantity"_s << 0.0;
    QTest::newRow("an import that breaks a booked sale")
        << QStringList{u"@2026-06-01 BUY IBKR US AAPL 10 100"_s, u"@2026-06-02 SELL IBKR US AAPL 10 100"_s}
        << QStringList{u"@2026-06-01 TRANSFER_OUT IBKR US AAPL 5"_s} << 400 << u"- quantity"_s << 0.0;
    QTest::newRow("a row the type rules refuse")
        << QStringList{} << QStringList{u"BUY IBKR US AAPL 10 100"_s, u"DIVIDEND IBKR USD 5"_s, u"BUY IBKR US AAPL 0 100"_s}
        << 400 << u"2 quantity"_s << 0.0;
    QTest::newRow("a new code without a sector")
        << QStringList{} << QStringList{u"BUY IBKR US AAPL 10 100"_s, u"BUY IBKR US MSFT 1 300 nosector"_s} << 400
        << u"1 sector"_s << 0.0;
    QTest::newRow("an earlier row classifies the code")
        << QStringList{} << QStringList{u"BUY IBKR US MSFT 1 300"_s, u"BUY Futu US MSFT 1 300 nosector"_s} << 200
        << u"2 0"_s << 0.0;
}

void ServiceExchangeTest::importBooksAllOrNothing()
{
    QFETCH(QStringList, booked);
    QFETCH(QStringList, imported);
    QFETCH(int, status);
    QFETCH(QString, counts);
    QFETCH(double, held);
    const QString token = signIn(u"ann@example.com"_s);
    for (int i = 0; i < booked.size(); ++i) {
        const Raw answer = raw(m_service->baseURL(), "POST", "/v1/transactions", token,
                               encodeJSON(step(booked[i], i))->toStdString());
        QVERIFY2(answer.status == 201, answer.body.c_str());
    }
    TransactionImportRequest request{hashOf(imported.join(u'\n')), {}, {}};
    for (int i = 0; i < imported.size(); ++i)
        request.transactions.append(step(imported[i], int(booked.size()) + i));
    const AccountBackup before = backupOf(token);

    const Raw answer = send(token, request);
    QVERIFY2(answer.status == status, answer.body.c_str());
    const QStringList expected = counts.split(u' ');
    if (status == 200) {
        const auto result = decodeJSON<TransactionImportResult>(QByteArray::fromStdString(answer.body));
        QVERIFY(result);
        QCOMPARE(result->imported, expected[0].toDouble());
        QCOMPARE(result->skippedDuplicates, expected[1].toDouble());
        QVERIFY(!result->alreadyImported);
        QCOMPARE(backupOf(token).transactions.size(), booked.size() + qsizetype(result->imported));
    } else {
        const auto error = decodeJSON<ServerError>(QByteArray::fromStdString(answer.body), KeyDecoding::UseKeysAsGiven);
        QVERIFY(error);
        QCOMPARE(error->row ? QString::number(*error->row) : u"-"_s, expected[0]);
        QCOMPARE(error->field.value_or(QString()), expected[1]);
        QCOMPARE(comparable(backupOf(token)), comparable(before));
        return;
    }
    double quantity = 0;
    for (const ServerHolding &row : backupOf(token).holdings)
        if (row.code == u"AAPL"_s && row.broker == u"IBKR"_s)
            quantity += row.quantity;
    QCOMPARE(quantity, held);
}

void ServiceExchangeTest::sameFileBooksOnce()
{
    const QString ann = signIn(u"ann@example.com"_s);
    const QString bob = signIn(u"bob@example.com"_s);
    const TransactionImportRequest request = importOf({u"BUY IBKR US AAPL 10 100"_s, u"DEPOSIT IBKR USD 50"_s});
    const auto first = QCoro::waitFor(PortfolioAPI::importTransactions(endpoint(), ann, request));
    QVERIFY(first);
    const AccountBackup afterFirst = backupOf(ann);
    const auto again = QCoro::waitFor(PortfolioAPI::importTransactions(endpoint(), ann, request));
    QVERIFY(again);
    QCOMPARE(*again, (TransactionImportResult{2, 0, true}));
    QCOMPARE(comparable(backupOf(ann)), comparable(afterFirst));
    // The file is Ann's import, not Bob's.
    const auto theirs = QCoro::waitFor(PortfolioAPI::importTransactions(endpoint(), bob, request));
    QVERIFY(theirs);
    QCOMPARE(*theirs, (TransactionImportResult{2, 0, false}));
}

void ServiceExchangeTest::largeImportsPassTheBodyLimit()
{
    const QString token = signIn(u"ann@example.com"_s);
    TransactionImportRequest request = importOf({u"DEPOSIT IBKR USD 1"_s}, u"large"_s);
    for (int i = 1; i < 12000; ++i)
        request.transactions.append(step(u"DEPOSIT IBKR USD %1"_s.arg(i + 1), i % 300));
    const std::string body = encodeJSON(request)->toStdString();
    QVERIFY(body.size() > 2 * 1024 * 1024);
    const Raw answer = raw(m_service->baseURL(), "POST", "/v1/transactions/import", token, body);
    QVERIFY2(answer.status == 200, answer.body.substr(0, 300).c_str());
    QCOMPARE(backupOf(token).transactions.size(), 12000);
    // Other requests keep the usual limit.
    QCOMPARE(raw(m_service->baseURL(), "PUT", "/v1/portfolio", token, body).status, 413);
}

void ServiceExchangeTest::exportedLedgerImportsAsItWas_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("byteOrderMark");
    QTest::newRow("English") << u"en-US"_s << false;
    QTest::newRow("Japanese, for spreadsheets") << u"ja-JP"_s << true;
    QTest::newRow("Traditional Chinese") << u"zh-TW"_s << true;
}

// Ann's ledger, exported as the app writes it and imported into Bob's empty account through the importer's
// own guesses, gives Bob the same ledger, holdings and cash.
void ServiceExchangeTest::exportedLedgerImportsAsItWas()
{
    QFETCH(QString, language);
    QFETCH(bool, byteOrderMark);
    const QString ann = signIn(u"ann@example.com"_s);
    const QString bob = signIn(u"bob@example.com"_s);
    TransactionImportRequest kept = importOf({u"DEPOSIT IBKR USD 5000"_s, u"BUY IBKR US AAPL 10 100.25 1.5"_s,
                                              u"BUY Futu HK 0700 200 320.4"_s, u"SELL IBKR US AAPL 4 120 1"_s,
                                              u"DIVIDEND IBKR USD 12.34"_s, u"SPLIT US AAPL 4"_s,
                                              u"TRANSFER_OUT IBKR US AAPL 8"_s, u"TRANSFER_IN Futu US AAPL 8 25.0625"_s,
                                              u"FEE Futu HKD 15"_s});
    kept.transactions[2].reason = u"港股, \"first\" lot\nsecond line"_s;
    kept.transactions[3].reason = u"=HYPERLINK(\"https://example.com\")"_s;
    QVERIFY(QCoro::waitFor(PortfolioAPI::importTransactions(endpoint(), ann, kept)));

    const auto ledger = QCoro::waitFor(PortfolioAPI::fetchTransactions(endpoint(), ann));
    QVERIFY(ledger);
    exchange::ExportSource source;
    source.transactions = *ledger;
    source.reporting = CurrencyOption{u"JPY"_s, u"Yen"_s, u"¥"_s, QString(), 0.0067, std::nullopt};
    source.rates = {source.reporting};
    source.languageCode = language;
    const QByteArray file =
        exchange::csvBytes(exchange::ledgerTable(source), exchange::CsvOptions{byteOrderMark, u','});

    const exchange::DetectedEncoding encoding = exchange::detectEncoding(file);
    const exchange::DecodedText text = exchange::decodeText(file, encoding.name);
    QVERIFY(!text.problem);
    const exchange::CsvDialect dialect = exchange::sniffDialect(text.text);
    const exchange::CsvTable table = exchange::readCsv(text.text, dialect);
    QVERIFY(!table.problem);
    const exchange::ImportPlan plan =
        exchange::planImport(table, exchange::guessMapping(table, encoding.name, dialect), {});
    QCOMPARE(plan.errors, 0);
    QCOMPARE(plan.ok, ledger->size());
    TransactionImportRequest again{hashOf(QString::fromUtf8(file)), {}, {}};
    for (const exchange::ImportRow &row : plan.rows)
        again.transactions.append(row.input);
    const auto booked = QCoro::waitFor(PortfolioAPI::importTransactions(endpoint(), bob, again));
    QVERIFY2(booked, booked ? "" : qPrintable(booked.error().description()));

    // Only the ids, the time of day and the order of entry are the account's own.
    const auto comparableLedger = [this](const QString &token) {
        QList<TransactionRecord> records = *QCoro::waitFor(PortfolioAPI::fetchTransactions(endpoint(), token));
        for (TransactionRecord &record : records) {
            record.id.clear();
            record.tradedAt = record.tradedAt.left(10);
        }
        return records;
    };
    const auto bobLedger = comparableLedger(bob), annLedger = comparableLedger(ann);
    for (qsizetype i = 0; i < std::min(bobLedger.size(), annLedger.size()); ++i)
        QVERIFY2(bobLedger[i] == annLedger[i],
                 qPrintable(QString::fromUtf8(*encodeJSON(bobLedger[i]) + "\n" + *encodeJSON(annLedger[i]))));
    QCOMPARE(bobLedger.size(), annLedger.size());
    AccountBackup annAfter = comparable(backupOf(ann)), bobAfter = comparable(backupOf(bob));
    for (AccountBackup *backup : {&annAfter, &bobAfter}) {
        for (ServerHolding &row : backup->holdings)
            row.id.reset();
        for (ServerCashBalance &row : backup->cashBalances)
            row.id.reset();
    }
    QCOMPARE(bobAfter.holdings, annAfter.holdings);
    QCOMPARE(bobAfter.cashBalances, annAfter.cashBalances);
}

void ServiceExchangeTest::restoredAccountIsTheSame()
{
    const QString ann = signIn(u"ann@example.com"_s);
    const QString bob = signIn(u"bob@example.com"_s);
    fillAccount(ann);
    const AccountBackup saved = backupOf(ann);
    QCOMPARE(saved.transactions.size(), 4);
    QVERIFY(!saved.ledgerRows.isEmpty());

    // Bob's own account is replaced, not merged into.
    QVERIFY(QCoro::waitFor(PortfolioAPI::importTransactions(endpoint(), bob, importOf({u"BUY IBKR US MSFT 3 300"_s}))));
    const auto restored = QCoro::waitFor(PortfolioAPI::restoreBackup(endpoint(), bob, saved));
    QVERIFY(restored);
    QCOMPARE(*restored, (RestoreResult{double(saved.holdings.size()), double(saved.cashBalances.size()), 4, 1}));
    QCOMPARE(comparable(backupOf(bob)), comparable(saved));

    // The restored ledger keeps its marks: the same later trade leaves both accounts alike.
    for (const QString &token : {ann, bob})
        QCOMPARE(raw(m_service->baseURL(), "POST", "/v1/transactions", token,
                     encodeJSON(step(u"SELL Futu HK 0005 50 70"_s, 40))->toStdString())
                     .status,
                 201);
    AccountBackup annAfter = comparable(backupOf(ann)), bobAfter = comparable(backupOf(bob));
    for (AccountBackup *backup : {&annAfter, &bobAfter})
        for (BackupTransaction &t : backup->transactions)
            t.id.clear(), t.sequence = 0;
    QCOMPARE(bobAfter.holdings, annAfter.holdings);
    QCOMPARE(bobAfter.cashBalances, annAfter.cashBalances);
    QCOMPARE(bobAfter.transactions, annAfter.transactions);
}

void ServiceExchangeTest::unfitBackupsChangeNothing_data()
{
    QTest::addColumn<QString>("change"); // what is done to a good backup's JSON
    QTest::addColumn<QString>("field");

    QTest::newRow("newer format") << u"version 2"_s << u"version"_s;
    QTest::newRow("not a backup") << u"format other"_s << u"format"_s;
    QTest::newRow("broken structure") << u"transactions broken"_s << QString();
    QTest::newRow("unknown type") << u"type GIFT"_s << u"transactions[0].transaction_type"_s;
    QTest::newRow("impossible ledger") << u"sell more"_s << u"transactions"_s;
}

void ServiceExchangeTest::unfitBackupsChangeNothing()
{
    QFETCH(QString, change);
    QFETCH(QString, field);
    const QString ann = signIn(u"ann@example.com"_s);
    fillAccount(ann);
    AccountBackup backup = backupOf(ann);
    const AccountBackup before = comparable(backup);
    if (change == u"version 2"_s)
        backup.version = 2;
    else if (change == u"format other"_s)
        backup.format = u"other"_s;
    else if (change == u"type GIFT"_s)
        backup.transactions.first().transactionType = u"GIFT"_s;
    else if (change == u"sell more"_s)
        backup.transactions[2].quantity = 400;
    std::string body = encodeJSON(backup)->toStdString();
    if (change == u"transactions broken"_s)
        body.replace(body.find("\"transactions\":["), 16, "\"transactions\":\"none\",\"unused\":[");

    const Raw answer = raw(m_service->baseURL(), "PUT", "/v1/backup", ann, body);
    QCOMPARE(answer.status, 400);
    const auto error = decodeJSON<ServerError>(QByteArray::fromStdString(answer.body), KeyDecoding::UseKeysAsGiven);
    QVERIFY(error && !error->error.isEmpty());
    QCOMPARE(error->field.value_or(QString()), field);
    QCOMPARE(comparable(backupOf(ann)), before);
}

QTEST_GUILESS_MAIN(ServiceExchangeTest)
#include "tst_serviceexchange.moc"

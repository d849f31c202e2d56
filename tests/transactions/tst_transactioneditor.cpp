// The editor sheet's rules: starting values, the lists its pickers offer, the checks and normalisation
// of save, and what a failure leaves behind.

#include "app/transactions/TransactionEditor.h"
#include "text/Localization.h"

#include <QCoroSignal>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace quillfern;

namespace {

GICSClassification gics(const char *sector, const char *sub)
{
    GICSClassification entry;
    entry.sectorName = QString::fromLatin1(sector);
    entry.subIndustryName = QString::fromLatin1(sub);
    return entry;
}

TransactionReferenceData reference()
{
    return TransactionReferenceData{
        {QStringLiteral("Futu"), QStringLiteral("IBKR")},
        {CurrencyOption{QStringLiteral("HKD"), {}, {}, {}, 0.128},
         CurrencyOption{QStringLiteral("USD"), {}, {}, {}, 1}},
        {gics("Energy", "Oil & Gas Drilling"), gics("Information Technology", "Semiconductors"),
         gics("Energy", "Coal & Consumable Fuels"), gics("Information Technology", "Application Software"),
         gics("Utilities", "Gas Utilities")},
        QStringLiteral("ko-KR")};
}

// Holds a save open until release() is emitted, then answers with its failure, if any.
class Gate : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void release();
};

QCoro::Task<std::optional<APIFailure>> answerWhenReleased(Gate *gate, std::optional<APIFailure> answer)
{
    co_await qCoro(gate, &Gate::release);
    co_return answer;
}

// A sheet whose saves are recorded and answered by the gate.
struct Sheet {
    explicit Sheet(TransactionReferenceData data = reference())
        : editor(
              std::move(data),
              [this](TransactionCreateInput input) {
                  sent.append(input);
                  return answerWhenReleased(&gate, answer);
              },
              QDateTime(QDate(2024, 5, 1), QTime(18, 30, 45, 250), QTimeZone(9 * 3600)))
    {
    }

    Gate gate;
    std::optional<APIFailure> answer;
    QList<TransactionCreateInput> sent;
    TransactionEditor editor;
};

TransactionEntries filled(const TransactionEditor &editor)
{
    TransactionEntries entries = editor.entries();
    entries.code = QStringLiteral("aapl");
    entries.quantity = 3;
    entries.price = 150;
    return entries;
}

} // namespace

class TransactionEditorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsFromTheFirstEntries();
    void startsWithoutReferenceLists();
    void pickersListSectorsAndTheirSubIndustries();
    void aSectorChangeKeepsOnlyAListedSubIndustry();
    void entriesThatFailTheChecksSendNothing_data();
    void entriesThatFailTheChecksSendNothing();
    void theRequestIsNormalised();
    void successFinishesTheSheet();
    void failureKeepsTheSheetOpenWithItsEntries();
};

void TransactionEditorTest::startsFromTheFirstEntries()
{
    Sheet sheet;
    const TransactionEntries &entries = sheet.editor.entries();
    QCOMPARE(entries.broker, QStringLiteral("Futu"));
    QCOMPARE(entries.market, QStringLiteral("US"));
    QCOMPARE(entries.transactionType, QStringLiteral("BUY"));
    QCOMPARE(entries.currency, QStringLiteral("HKD"));
    QCOMPARE(entries.sector, QStringLiteral("Energy"));
    QCOMPARE(entries.subSector, QStringLiteral("Oil & Gas Drilling"));
    QVERIFY(entries.code.isEmpty());
    QCOMPARE(entries.quantity, 0.0);
    QVERIFY(!sheet.editor.isSaving());
    QVERIFY(!sheet.editor.errorMessage());
}

void TransactionEditorTest::startsWithoutReferenceLists()
{
    Sheet sheet(TransactionReferenceData{{}, {}, {}, QStringLiteral("en-US")});
    QVERIFY(sheet.editor.entries().broker.isEmpty());
    QCOMPARE(sheet.editor.entries().currency, QStringLiteral("USD"));
    QVERIFY(sheet.editor.entries().sector.isEmpty());
    QVERIFY(sheet.editor.sectorOptions().isEmpty());

    // Without a broker the sheet cannot be saved, whatever else is typed.
    sheet.editor.setEntries(filled(sheet.editor));
    sheet.editor.save();
    QVERIFY(sheet.sent.isEmpty());
    QCOMPARE(sheet.editor.errorMessage(), std::optional<QString>(AppText::value(u"transactionValidation", u"en-US")));
}

void TransactionEditorTest::pickersListSectorsAndTheirSubIndustries()
{
    Sheet sheet;
    QCOMPARE(
        sheet.editor.sectorOptions(),
        (QStringList{QStringLiteral("Energy"), QStringLiteral("Information Technology"), QStringLiteral("Utilities")}));
    QCOMPARE(sheet.editor.subSectorOptions(),
             (QStringList{QStringLiteral("Oil & Gas Drilling"), QStringLiteral("Coal & Consumable Fuels")}));
    QCOMPARE(TransactionEditor::marketChoices,
             (QStringList{QStringLiteral("US"), QStringLiteral("HK"), QStringLiteral("CN"), QStringLiteral("JP"),
                          QStringLiteral("EU")}));
}

void TransactionEditorTest::aSectorChangeKeepsOnlyAListedSubIndustry()
{
    Sheet sheet;
    TransactionEntries entries = sheet.editor.entries();
    entries.subSector = QStringLiteral("Coal & Consumable Fuels");
    sheet.editor.setEntries(entries);
    QCOMPARE(sheet.editor.entries().subSector, QStringLiteral("Coal & Consumable Fuels"));

    entries.sector = QStringLiteral("Information Technology");
    sheet.editor.setEntries(entries);
    QCOMPARE(sheet.editor.subSectorOptions(),
             (QStringList{QStringLiteral("Semiconductors"), QStringLiteral("Application Software")}));
    QCOMPARE(sheet.editor.entries().subSector, QStringLiteral("Semiconductors"));

    entries = sheet.editor.entries();
    entries.sector = QStringLiteral("Retired sector");
    sheet.editor.setEntries(entries);
    QVERIFY(sheet.editor.entries().subSector.isEmpty());
}

void TransactionEditorTest::entriesThatFailTheChecksSendNothing_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("quantity");
    QTest::addColumn<double>("price");
    QTest::addColumn<double>("commission");
    QTest::addColumn<bool>("valid");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("all fine") << "aapl" << 1.0 << 1.0 << 0.0 << true;
    QTest::newRow("commission above zero") << "aapl" << 1.0 << 1.0 << 2.5 << true;
    QTest::newRow("blank code") << " \n\t" << 1.0 << 1.0 << 0.0 << false;
    QTest::newRow("zero quantity") << "aapl" << 0.0 << 1.0 << 0.0 << false;
    QTest::newRow("negative quantity") << "aapl" << -2.0 << 1.0 << 0.0 << false;
    QTest::newRow("zero price") << "aapl" << 1.0 << 0.0 << 0.0 << false;
    QTest::newRow("negative commission") << "aapl" << 1.0 << 1.0 << -0.01 << false;
    QTest::newRow("quantity not a number") << "aapl" << nan << 1.0 << 0.0 << false;
    QTest::newRow("commission not a number") << "aapl" << 1.0 << 1.0 << nan << false;
}

void TransactionEditorTest::entriesThatFailTheChecksSendNothing()
{
    QFETCH(QString, code);
    QFETCH(double, quantity);
    QFETCH(double, price);
    QFETCH(double, commission);
    QFETCH(bool, valid);
    Sheet sheet;
    TransactionEntries entries = sheet.editor.entries();
    entries.code = code;
    entries.quantity = quantity;
    entries.price = price;
    entries.commission = commission;
    sheet.editor.setEntries(entries);

    sheet.editor.save();

    QCOMPARE(sheet.sent.size(), valid ? 1 : 0);
    QCOMPARE(sheet.editor.isSaving(), valid);
    if (valid)
        QVERIFY(!sheet.editor.errorMessage());
    else
        QCOMPARE(sheet.editor.errorMessage(),
                 std::optional<QString>(AppText::value(u"transactionValidation", u"ko-KR")));
    Q_EMIT sheet.gate.release();
}

void TransactionEditorTest::theRequestIsNormalised()
{
    Sheet sheet;
    TransactionEntries entries = filled(sheet.editor);
    entries.code = QStringLiteral("  0700.hk \n");
    entries.market = QStringLiteral("HK");
    entries.transactionType = QStringLiteral("SELL");
    entries.reason = QStringLiteral("\n  Trimmed, but  inside kept  \t");
    sheet.editor.setEntries(entries);
    sheet.editor.save();

    QCOMPARE(sheet.sent.size(), 1);
    const TransactionCreateInput sent = sheet.sent.first();
    QCOMPARE(sent.code, QStringLiteral("0700.HK"));
    // 18:30:45.250 at UTC+9 is 09:30:45 UTC; the fraction of a second is dropped.
    QCOMPARE(sent.tradedAt, QStringLiteral("2024-05-01T09:30:45Z"));
    QCOMPARE(sent.reason, QStringLiteral("Trimmed, but  inside kept"));
    QCOMPARE(sent.broker, QStringLiteral("Futu"));
    QCOMPARE(sent.market, QStringLiteral("HK"));
    QCOMPARE(sent.transactionType, QStringLiteral("SELL"));
    QCOMPARE(sent.currency, QStringLiteral("HKD"));
    QCOMPARE(sent.sector, QStringLiteral("Energy"));
    QCOMPARE(sent.subSector, QStringLiteral("Oil & Gas Drilling"));
    QCOMPARE(sent.quantity, 3.0);
    QCOMPARE(sent.price, 150.0);
    Q_EMIT sheet.gate.release();
}

void TransactionEditorTest::successFinishesTheSheet()
{
    Sheet sheet;
    QSignalSpy finished(&sheet.editor, &TransactionEditor::finished);
    sheet.editor.setEntries(filled(sheet.editor));
    sheet.editor.save();
    QVERIFY(sheet.editor.isSaving());
    // A second press while the first save is out sends nothing more.
    sheet.editor.save();
    QCOMPARE(sheet.sent.size(), 1);
    QCOMPARE(finished.count(), 0);

    Q_EMIT sheet.gate.release();
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!sheet.editor.errorMessage());
}

void TransactionEditorTest::failureKeepsTheSheetOpenWithItsEntries()
{
    Sheet sheet;
    sheet.answer = APIFailure(PortfolioAPIError::server(422, QStringLiteral("Not enough shares to sell.")));
    QSignalSpy finished(&sheet.editor, &TransactionEditor::finished);
    TransactionEntries entries = filled(sheet.editor);
    entries.code = QStringLiteral(" aapl ");
    sheet.editor.setEntries(entries);
    sheet.editor.save();
    Q_EMIT sheet.gate.release();

    QTRY_VERIFY(!sheet.editor.isSaving());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(sheet.editor.errorMessage(), std::optional<QString>(QStringLiteral("Not enough shares to sell.")));
    QCOMPARE(sheet.editor.entries(), entries);

    // The retry sends the same request again and clears the message while it is out.
    sheet.answer.reset();
    sheet.editor.save();
    QCOMPARE(sheet.sent.size(), 2);
    QCOMPARE(sheet.sent[1], sheet.sent[0]);
    QVERIFY(!sheet.editor.errorMessage());
    Q_EMIT sheet.gate.release();
    QTRY_COMPARE(finished.count(), 1);
}

QTEST_GUILESS_MAIN(TransactionEditorTest)
#include "tst_transactioneditor.moc"

// The file that keeps an account's portfolio on this computer between runs.

#include "app/workspace/LocalCopy.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quillfern;

class LocalCopyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keepsEverythingAsItWas();
    void unreadableFilesAreNoCopy_data();
    void unreadableFilesAreNoCopy();
    void accountsDoNotShareACopy();
};

namespace {

LocalCopyData sample()
{
    LocalCopyData data;
    const AssetRow held{QStringLiteral("A1"), QStringLiteral("HK"), QStringLiteral("Financials"),
                        QStringLiteral("Banks"), QStringLiteral("0005"), QStringLiteral("Futu"), 61.25, 400, 0.1 + 0.2};
    data.synced = PortfolioData{{held}, {CashRow{QStringLiteral("C1"), QStringLiteral("Futu"), 10, QStringLiteral("HKD"),
                                                 0.128}},
                                QByteArrayLiteral("\"17\"")};
    AssetRow edited = held;
    edited.quantity = 500;
    data.rows = {edited};
    data.cashRows = {CashRow{QStringLiteral("C2"), QStringLiteral("IBKR"), -3.5, QStringLiteral("JPY"), std::nullopt}};
    data.currencies = {CurrencyOption{QStringLiteral("JPY"), QStringLiteral("Japanese Yen"), QStringLiteral("\u00A5"),
                                      QStringLiteral("\U0001F1EF\U0001F1F5"), 0.0067}};
    data.transactions = {TransactionRecord{QStringLiteral("T1"), QStringLiteral("Futu"), QStringLiteral("HK"),
                                           QStringLiteral("0005"), QStringLiteral("BUY"), 100, 60, 5,
                                           QStringLiteral("HKD"), QStringLiteral("Financials"), QStringLiteral("Banks"),
                                           QStringLiteral("2026-12-01T10:00:00Z"), QStringLiteral("\u8cb7\u3044"),
                                           {}, {}, true, {}, {}, 0.128}};
    return data;
}

} // namespace

void LocalCopyTest::keepsEverythingAsItWas()
{
    // Unedited, the working tables are the synchronised ones.
    LocalCopyData unedited = sample();
    unedited.rows = unedited.synced.holdings;
    unedited.cashRows = unedited.synced.cashBalances;
    QCOMPARE(LocalCopy::decode(LocalCopy::encode(unedited)), std::optional(unedited));

    QTemporaryDir folder;
    LocalCopy copy(folder.filePath(QStringLiteral("accounts")));
    copy.setAccount(QStringLiteral("http://127.0.0.1:8787"), QStringLiteral("ann@example.com"));
    QVERIFY(!copy.load());
    QVERIFY(copy.store(sample()));
    QCOMPARE(copy.load(), std::optional(sample()));
    // Only its owner may read what someone holds.
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(copy.filePath()) & others, QFileDevice::Permissions());
    QVERIFY(QFile::permissions(copy.filePath()) & QFileDevice::ReadOwner);
    QVERIFY(!QFile::exists(copy.filePath() + QStringLiteral(".tmp")));
    QVERIFY(copy.remove());
    QVERIFY(!copy.load());
}

void LocalCopyTest::unreadableFilesAreNoCopy_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = LocalCopy::encode(sample());
    QByteArray newer = good;
    newer[7] = char(newer[7] + 1); // the format number after the four-byte mark
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut short") << good.left(good.size() - 3);
    QTest::newRow("newer format") << newer;
    QTest::newRow("more after the end") << good + QByteArrayLiteral("x");
    QTest::newRow("some other file") << QByteArrayLiteral("{\"holdings\":[]}\n");
}

void LocalCopyTest::unreadableFilesAreNoCopy()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!LocalCopy::decode(bytes));
}

void LocalCopyTest::accountsDoNotShareACopy()
{
    QTemporaryDir folder;
    LocalCopy ann(folder.path());
    ann.setAccount(QStringLiteral("https://a.example"), QStringLiteral("Ann@Example.com"));
    LocalCopy sameAnn(folder.path());
    sameAnn.setAccount(QStringLiteral("https://a.example"), QStringLiteral(" ann@example.com"));
    LocalCopy otherService(folder.path());
    otherService.setAccount(QStringLiteral("https://b.example"), QStringLiteral("ann@example.com"));
    LocalCopy nobody(folder.path());
    nobody.setAccount(QStringLiteral("https://a.example"), QString());

    QVERIFY(ann.store(sample()));
    QVERIFY(sameAnn.load());
    QVERIFY(!otherService.load());
    QVERIFY(!nobody.hasAccount());
    QVERIFY(!nobody.store(sample()));
}

QTEST_GUILESS_MAIN(LocalCopyTest)
#include "tst_localcopy.moc"

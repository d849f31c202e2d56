#include "text/Localization.h"

#include <QRegularExpression>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace quillfern;

namespace {

const QStringList translatedCodes{QStringLiteral("zh-CN"), QStringLiteral("zh-TW"), QStringLiteral("ja-JP"),
                                  QStringLiteral("ko-KR")};

} // namespace

class LocalizationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstUseFromManyThreadsAgrees();
    void everyTableHasEveryKey();
    void translationsAreReal();
    void messages_data();
    void messages();
    void currentLanguage();
    void lookupFallbacks_data();
    void lookupFallbacks();
    void englishVariantsShareTheEnglishTable();
};

void LocalizationTest::firstUseFromManyThreadsAgrees()
{
    // Runs first, so the catalogue is built by whichever thread gets there first.
    constexpr int threadCount = 8;
    std::atomic<int> ready{0};
    std::vector<QStringList> seen(threadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&ready, &seen, t] {
            ready.fetch_add(1);
            while (ready.load() < threadCount) {
            }
            for (const QString &code : {QStringLiteral("ja-JP"), QStringLiteral("en-GB"), QStringLiteral("ko-KR")})
                seen[t].append(AppText::value(u"holdings", code));
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const QStringList expected{QStringLiteral("保有銘柄"), QStringLiteral("Holdings"), QStringLiteral("보유 종목")};
    for (const QStringList &answers : seen)
        QCOMPARE(answers, expected);
}

void LocalizationTest::everyTableHasEveryKey()
{
    QStringList unique = AppText::keys();
    QCOMPARE(unique.removeDuplicates(), 0);
    QCOMPARE(AppText::translations().size(), 7);
    const QSet<QString> keys(AppText::keys().cbegin(), AppText::keys().cend());
    for (auto table = AppText::translations().cbegin(); table != AppText::translations().cend(); ++table) {
        const QList<QString> tableKeys = table->keys();
        QCOMPARE(QSet<QString>(tableKeys.cbegin(), tableKeys.cend()), keys);
        for (const QString &text : *table)
            QVERIFY2(!text.trimmed().isEmpty(), qPrintable(table.key()));
    }
}

// Every text formats in every language with three counts for its arguments: no pattern ICU cannot read (it
// would come back with its braces), no argument a translation lost, and nothing left in Latin letters but
// the names that stay as they are.
void LocalizationTest::translationsAreReal()
{
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    // Names, codes, and the keys of the keyboard as their caps read.
    static const QRegularExpression names(QStringLiteral("Quillfern|Google|CSV|ETF|ISO|USD|P/L|Enter|Esc"));
    for (const QString &code : QStringList{QStringLiteral("en-US")} + translatedCodes) {
        for (const QString &key : AppText::keys()) {
            const QString text = AppText::format(key, code, {qint64(7), qint64(8), qint64(9)});
            const QString where = code + QLatin1Char(' ') + key + QLatin1Char(' ') + text;
            QVERIFY2(!text.contains(QLatin1Char('{')), qPrintable(where));
            for (int i = 0; i < 3; ++i) {
                if (AppText::english().value(key).contains(QLatin1Char('{') + QString::number(i)))
                    QVERIFY2(text.contains(QString::number(7 + i)), qPrintable(where));
            }
            if (code == u"en-US")
                continue;
            QVERIFY2(!latin.match(QString(text).remove(names)).hasMatch(), qPrintable(where));
            QVERIFY2(text != AppText::format(key, u"en-US", {qint64(7), qint64(8), qint64(9)}), qPrintable(where));
        }
        // The simplified and traditional tables are different scripts, not one table twice.
        QVERIFY(AppText::translations().value(QStringLiteral("zh-CN")) !=
                AppText::translations().value(QStringLiteral("zh-TW")));
    }
}

void LocalizationTest::messages_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    // Arguments in another order than English's.
    QTest::newRow("ja order") << QStringLiteral("addCashCommand") << QStringLiteral("ja-JP")
                              << QStringLiteral("IBKR の USD 現金を追加");
    QTest::newRow("en order") << QStringLiteral("addCashCommand") << QStringLiteral("en-US")
                              << QStringLiteral("Add USD Cash at IBKR");
    QTest::newRow("unknown language is English") << QStringLiteral("deletedRow") << QStringLiteral("fr-FR")
                                                 << QStringLiteral("Deleted USD");
    QTest::newRow("unknown key") << QStringLiteral("noSuchKey") << QStringLiteral("ko-KR")
                                 << QStringLiteral("noSuchKey");
}

void LocalizationTest::messages()
{
    QFETCH(QString, key);
    QFETCH(QString, code);
    QTEST(AppText::format(key, code, {QStringLiteral("USD"), QStringLiteral("IBKR")}), "expected");
}

void LocalizationTest::currentLanguage()
{
    const QString before = AppText::currentLanguage();
    AppText::setCurrentLanguage(QStringLiteral("zh-TW"));
    QCOMPARE(AppText::text(u"deletedRow", {QStringLiteral("AAPL")}), QStringLiteral("已刪除 AAPL"));
    QCOMPARE(AppText::text(u"retry"), QStringLiteral("重試"));
    AppText::setCurrentLanguage(before);
    QCOMPARE(AppText::text(u"retry"), AppText::value(u"retry", before));
}

void LocalizationTest::lookupFallbacks_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("French falls back to English")
        << QStringLiteral("holdings") << QStringLiteral("fr-FR") << QStringLiteral("Holdings");
    QTest::newRow("codes are case-sensitive")
        << QStringLiteral("holdings") << QStringLiteral("zh-cn") << QStringLiteral("Holdings");
    QTest::newRow("underscore is another code")
        << QStringLiteral("cash") << QStringLiteral("ja_JP") << QStringLiteral("Cash");
    QTest::newRow("empty code") << QStringLiteral("retry") << QString() << QStringLiteral("Retry");
    QTest::newRow("unknown key comes back")
        << QStringLiteral("noSuchKey") << QStringLiteral("ja-JP") << QStringLiteral("noSuchKey");
    QTest::newRow("keys are case-sensitive")
        << QStringLiteral("Holdings") << QStringLiteral("zh-CN") << QStringLiteral("Holdings");
    QTest::newRow("Korean") << QStringLiteral("commission") << QStringLiteral("ko-KR") << QStringLiteral("수수료");
}

void LocalizationTest::lookupFallbacks()
{
    QFETCH(QString, key);
    QFETCH(QString, code);
    QTEST(AppText::value(key, code), "expected");
}

void LocalizationTest::englishVariantsShareTheEnglishTable()
{
    for (const QString &key : AppText::keys()) {
        const QString english = AppText::value(key, u"en-US");
        QCOMPARE(AppText::value(key, u"en-GB"), english);
        QCOMPARE(AppText::value(key, u"en-EU"), english);
        QCOMPARE(english, AppText::english().value(key));
    }
    QCOMPARE(AppText::value(u"saving", u"en-GB"), QStringLiteral("Saving\u2026"));
}

QTEST_APPLESS_MAIN(LocalizationTest)
#include "tst_localization.moc"

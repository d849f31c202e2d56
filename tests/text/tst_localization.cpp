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
    void registerRows_data();
    void registerRows();
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

void LocalizationTest::translationsAreReal()
{
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    for (const QString &code : translatedCodes) {
        const AppText::Table &table = AppText::translations().value(code);
        for (const QString &key : AppText::keys()) {
            const QString text = table.value(key);
            QVERIFY2(!latin.match(text).hasMatch(),
                     qPrintable(code + QLatin1Char(' ') + key + QLatin1Char(' ') + text));
            QVERIFY2(text != AppText::english().value(key), qPrintable(code + QLatin1Char(' ') + key));
        }
        // The simplified and traditional tables are different scripts, not one table twice.
        QVERIFY(AppText::translations().value(QStringLiteral("zh-CN")) !=
                AppText::translations().value(QStringLiteral("zh-TW")));
    }
    // Full sentences keep their punctuation in every language.
    for (const QString &code : translatedCodes) {
        const QString sentence = AppText::value(u"transactionValidation", code);
        QVERIFY2(sentence.endsWith(QChar(0x3002)) || sentence.endsWith(QLatin1Char('.')), qPrintable(code));
    }
}

void LocalizationTest::registerRows_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("texts"); // en-US, zh-CN, zh-TW, ja-JP, ko-KR

    QTest::newRow("holdings") << QStringLiteral("holdings")
                              << QStringList{QStringLiteral("Holdings"), QStringLiteral("持仓"), QStringLiteral("持倉"),
                                             QStringLiteral("保有銘柄"), QStringLiteral("보유 종목")};
    QTest::newRow("marketValue") << QStringLiteral("marketValue")
                                 << QStringList{QStringLiteral("Market Value"), QStringLiteral("市值"),
                                                QStringLiteral("市值"), QStringLiteral("時価総額"),
                                                QStringLiteral("시장 가치")};
    QTest::newRow("net") << QStringLiteral("net")
                         << QStringList{QStringLiteral("Unrealized P/L"), QStringLiteral("未实现盈亏"),
                                        QStringLiteral("未實現損益"), QStringLiteral("含み損益"),
                                        QStringLiteral("미실현 손익")};
    QTest::newRow("saving") << QStringLiteral("saving")
                            << QStringList{QStringLiteral("Saving…"), QStringLiteral("保存中…"),
                                           QStringLiteral("儲存中…"), QStringLiteral("保存中…"),
                                           QStringLiteral("저장 중…")};
    QTest::newRow("signOut") << QStringLiteral("signOut")
                             << QStringList{QStringLiteral("Sign Out"), QStringLiteral("退出登录"),
                                            QStringLiteral("登出"), QStringLiteral("サインアウト"),
                                            QStringLiteral("로그아웃")};
    QTest::newRow("transactionRecords") << QStringLiteral("transactionRecords")
                                        << QStringList{QStringLiteral("transactions"), QStringLiteral("条交易记录"),
                                                       QStringLiteral("筆交易記錄"), QStringLiteral("件の取引"),
                                                       QStringLiteral("건의 거래")};
    QTest::newRow("brokerageNameRequired")
        << QStringLiteral("brokerageNameRequired")
        << QStringList{QStringLiteral("Brokerage name must contain at least 2 characters."),
                       QStringLiteral("券商名称至少需要 2 个字符。"), QStringLiteral("券商名稱至少需要 2 個字元。"),
                       QStringLiteral("証券会社名は2文字以上で入力してください。"),
                       QStringLiteral("증권사 이름은 2자 이상이어야 합니다.")};
    QTest::newRow("transactionValidation")
        << QStringLiteral("transactionValidation")
        << QStringList{QStringLiteral("Enter an account, ticker, valid quantity and price."),
                       QStringLiteral("请填写账户、代码、有效数量和价格。"),
                       QStringLiteral("請填寫帳戶、代碼、有效數量和價格。"),
                       QStringLiteral("口座、銘柄、正しい数量と価格を入力してください。"),
                       QStringLiteral("계좌, 종목 코드, 유효한 수량과 가격을 입력하세요.")};
    QTest::newRow("shared English texts stay apart by key")
        << QStringLiteral("costBasis")
        << QStringList{QStringLiteral("Cost Basis"), QStringLiteral("持仓成本"), QStringLiteral("持倉成本"),
                       QStringLiteral("取得原価"), QStringLiteral("매입 원가")};
}

void LocalizationTest::registerRows()
{
    QFETCH(QString, key);
    QFETCH(QStringList, texts);
    const QStringList codes = QStringList{QStringLiteral("en-US")} + translatedCodes;
    for (int i = 0; i < codes.size(); ++i)
        QCOMPARE(AppText::value(key, codes[i]), texts[i]);
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

#include "core/CurrencyCatalog.h"
#include "core/WorkspaceValuation.h"

#include <QRegularExpression>
#include <QTest>

#include <limits>

using namespace quillfern;

namespace {

AssetRow holding(QString id, QString market, double avg, double quantity, double current, QString broker = {})
{
    return AssetRow{std::move(id),
                    std::move(market),
                    QStringLiteral("Information Technology"),
                    QStringLiteral("Semiconductors"),
                    QStringLiteral("CODE"),
                    std::move(broker),
                    avg,
                    quantity,
                    current};
}

BrokerageOption brokerage(QString name)
{
    return BrokerageOption{QStringLiteral("b-") + name, std::move(name), QStringLiteral("US"), false};
}

CashRow cash(QString broker, double amount, QString currency, std::optional<double> rate = std::nullopt)
{
    return CashRow{newRowID(), std::move(broker), amount, std::move(currency), rate};
}

} // namespace

class ValuationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void marketCurrencies_data();
    void marketCurrencies();
    void symbols_data();
    void symbols();
    void holdingsUseTheRateOfTheirCurrency_data();
    void holdingsUseTheRateOfTheirCurrency();
    void positionsAreFoundByRowID();
    void cashRowsPreferTheServiceRate();
    void brokerageNames_data();
    void brokerageNames();
    void equalCollationKeepsGatheringOrder();
    void reportingCurrencyAndLanguageFallBack();
    void newRowIDsAreUpperCaseVersion4();
};

void ValuationTest::marketCurrencies_data()
{
    QTest::addColumn<QString>("market");
    QTest::addColumn<QString>("currency"); // its rate is checked with the symbols

    QTest::newRow("HK") << QStringLiteral("HK") << QStringLiteral("HKD");
    QTest::newRow("CN") << QStringLiteral("CN") << QStringLiteral("CNY");
    QTest::newRow("JP") << QStringLiteral("JP") << QStringLiteral("JPY");
    QTest::newRow("EU") << QStringLiteral("EU") << QStringLiteral("EUR");
    QTest::newRow("US") << QStringLiteral("US") << QStringLiteral("USD");
    QTest::newRow("empty") << QString() << QStringLiteral("USD");
    QTest::newRow("lower-case hk is not HK") << QStringLiteral("hk") << QStringLiteral("USD");
    QTest::newRow("GB trades in dollars") << QStringLiteral("GB") << QStringLiteral("USD");
}

void ValuationTest::marketCurrencies()
{
    QFETCH(QString, market);
    QTEST(CurrencyCatalog::currency(market), "currency");
}

void ValuationTest::symbols_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<double>("rate");

    QTest::newRow("USD") << QStringLiteral("USD") << QStringLiteral("$") << 1.0;
    QTest::newRow("HKD") << QStringLiteral("HKD") << QStringLiteral("HK$") << 0.127618574;
    QTest::newRow("CNY") << QStringLiteral("CNY") << QStringLiteral("CN\u00A5") << 0.138;
    QTest::newRow("JPY") << QStringLiteral("JPY") << QStringLiteral("\u00A5") << 0.0064;
    QTest::newRow("EUR") << QStringLiteral("EUR") << QStringLiteral("\u20AC") << 1.08;
    QTest::newRow("GBP has a rate though no market") << QStringLiteral("GBP") << QStringLiteral("\u00A3") << 1.26;
    QTest::newRow("unknown code") << QStringLiteral("SGD") << QStringLiteral("SGD ") << 1.0;
    QTest::newRow("lower case is unknown") << QStringLiteral("usd") << QStringLiteral("usd ") << 1.0;
    QTest::newRow("lower-case gbp has no rate") << QStringLiteral("gbp") << QStringLiteral("gbp ") << 1.0;
}

void ValuationTest::symbols()
{
    QFETCH(QString, code);
    QTEST(CurrencyCatalog::symbol(code), "symbol");
    QTEST(CurrencyCatalog::fxToUSD(code), "rate");
}

void ValuationTest::holdingsUseTheRateOfTheirCurrency_data()
{
    QTest::addColumn<QString>("market");
    QTest::addColumn<QString>("listedCode"); // the one rate the service listed; empty: no list
    QTest::addColumn<double>("listedRate");
    QTest::addColumn<double>("rate");        // what a unit of the market's currency is valued at

    const double yen = CurrencyCatalog::fxToUSD(QStringLiteral("JPY"));
    QTest::newRow("no list: built-in yen") << QStringLiteral("JP") << QString() << 0.0 << yen;
    QTest::newRow("GB in dollars") << QStringLiteral("GB") << QString() << 0.0 << 1.0;
    QTest::newRow("lower-case hk in dollars") << QStringLiteral("hk") << QString() << 0.0 << 1.0;
    QTest::newRow("listed HKD rate") << QStringLiteral("HK") << QStringLiteral("HKD") << 0.128 << 0.128;
    QTest::newRow("listed yen rate") << QStringLiteral("JP") << QStringLiteral("JPY") << 0.0067 << 0.0067;
    QTest::newRow("another currency listed") << QStringLiteral("JP") << QStringLiteral("HKD") << 0.128 << yen;
    QTest::newRow("listed rate of zero") << QStringLiteral("JP") << QStringLiteral("JPY") << 0.0 << yen;
    QTest::newRow("listed rate not a number")
        << QStringLiteral("JP") << QStringLiteral("JPY") << std::numeric_limits<double>::quiet_NaN() << yen;
}

void ValuationTest::holdingsUseTheRateOfTheirCurrency()
{
    QFETCH(QString, market);
    QFETCH(QString, listedCode);
    QFETCH(double, listedRate);
    QFETCH(double, rate);
    QList<CurrencyOption> listed;
    if (!listedCode.isEmpty())
        listed.append(CurrencyOption{listedCode, {}, {}, {}, listedRate});
    const PortfolioSummary result = summary({holding(QStringLiteral("r1"), market, 1000, 100, 1100)}, listed);
    QCOMPARE(result.positions.size(), size_t(1));
    const AssetValuation &v = result.positions.front();
    QCOMPARE(v.currency, CurrencyCatalog::currency(market).toStdString());
    QCOMPARE(v.boughtCostUsd, 100000 * rate);
    QCOMPARE(v.marketValueUsd, 110000 * rate);
    QVERIFY(qAbs(v.changePercent - 10) < 1e-9);
    // Shown back in its own currency at the same rate, a holding is its quantity times its price.
    QVERIFY(qAbs(v.marketValueUsd / usdPerUnit(CurrencyCatalog::currency(market), listed) - 110000) < 1e-6);
}

void ValuationTest::positionsAreFoundByRowID()
{
    const QList<AssetRow> rows{holding(QStringLiteral("名"), QStringLiteral("US"), 1, 2, 3),
                               holding(QStringLiteral("b"), QStringLiteral("HK"), 1, 4, 5),
                               holding(QStringLiteral("b"), QStringLiteral("US"), 1, 9, 9)};
    const QHash<QString, AssetValuation> index = positionsByID(summary(rows));
    QCOMPARE(index.size(), 2);
    QCOMPARE(index.value(QStringLiteral("名")).marketValueUsd, 6.0);
    QCOMPARE(index.value(QStringLiteral("b")).market, std::string("HK")); // the first of a duplicated id
}

void ValuationTest::cashRowsPreferTheServiceRate()
{
    QCOMPARE(cashValueUsd(cash(QStringLiteral("Futu"), 100, QStringLiteral("GBP"))), 126.0);
    QCOMPARE(cashValueUsd(cash(QStringLiteral("Futu"), 100, QStringLiteral("GBP"), 1.3)), 130.0);
    // A stored rate is used as it stands, even when it makes no sense.
    QCOMPARE(cashValueUsd(cash(QStringLiteral("Futu"), 100, QStringLiteral("HKD"), -2.0)), -200.0);
    QCOMPARE(totalCashUsd({}), 0.0);
    QCOMPARE(totalCashUsd({cash(QStringLiteral("A"), 10, QStringLiteral("USD")),
                           cash(QStringLiteral("B"), 100, QStringLiteral("EUR")),
                           cash(QStringLiteral("C"), 50, QStringLiteral("XYZ"), 0.5)}),
             143.0);
}

void ValuationTest::brokerageNames_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("holdingBrokers");
    QTest::addColumn<QStringList>("cashBrokers");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("expected");

    // Names separated by '|', so that white space around them stays part of them.
    const auto names = [](const char *list) { return QString::fromUtf8(list).split(u'|', Qt::SkipEmptyParts); };
    const auto add = [&](const char *name, const char *listed, const char *holdings, const char *cash,
                         const char *locale, const char *expected) {
        QTest::newRow(name) << names(listed) << names(holdings) << names(cash) << QString::fromLatin1(locale)
                            << names(expected);
    };
    add("service, rows and cash merged ignoring case", "IBKR", "  ibkr \n", "Futu", "en_US", "Futu|IBKR");
    add("nothing anywhere gives the defaults, sorted", "", "   ", "", "en_US", "Futu|Hafoo|IBKR|Sea|Snowball|Tiger");
    add("first spelling wins", "tiger", "Tiger|TIGER", "", "en_US", "tiger");
    add("case-insensitive order", "zeta|Alpha|beta", "", "", "en_US", "Alpha|beta|zeta");
    // Collation follows the locale: Swedish sorts Ä after Z, German beside A.
    add("German umlaut", "Zeta|\u00C4gir|Bank", "", "", "de_DE", "\u00C4gir|Bank|Zeta");
    add("Swedish umlaut", "Zeta|\u00C4gir|Bank", "", "", "sv_SE", "Bank|Zeta|\u00C4gir");
}

void ValuationTest::brokerageNames()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, holdingBrokers);
    QFETCH(QStringList, cashBrokers);
    QFETCH(QString, locale);

    QList<BrokerageOption> options;
    for (const QString &name : listed)
        options.append(brokerage(name));
    QList<AssetRow> rows;
    for (const QString &name : holdingBrokers)
        rows.append(holding(newRowID(), QStringLiteral("US"), 1, 1, 1, name));
    QList<CashRow> cashRows;
    for (const QString &name : cashBrokers)
        cashRows.append(cash(name, 1, QStringLiteral("USD")));

    QTEST(quillfern::brokerageNames(options, rows, cashRows, locale), "expected");
}

void ValuationTest::equalCollationKeepsGatheringOrder()
{
    // Full-width and ASCII letters differ ignoring case, so both are kept, but collate equal at
    // secondary strength; the stable sort keeps whichever was gathered first.
    const QString ascii = QStringLiteral("Sea");
    const QString wide = QStringLiteral("\uFF33\uFF45\uFF41");
    QCOMPARE(quillfern::brokerageNames({brokerage(wide), brokerage(ascii)}, {}, {}, QStringLiteral("en_US")),
             (QStringList{wide, ascii}));
    QCOMPARE(quillfern::brokerageNames({brokerage(ascii), brokerage(wide)}, {}, {}, QStringLiteral("en_US")),
             (QStringList{ascii, wide}));
}

void ValuationTest::reportingCurrencyAndLanguageFallBack()
{
    const CurrencyOption hkd{QStringLiteral("HKD"), QStringLiteral("Hong Kong Dollar"), QStringLiteral("HK$"),
                             QStringLiteral("\U0001F1ED\U0001F1F0"), 0.128};
    const CurrencyOption eur{QStringLiteral("EUR"), QStringLiteral("Euro"), QStringLiteral("\u20AC"),
                             QStringLiteral("\U0001F1EA\U0001F1FA"), 1.08};
    QCOMPARE(reportingCurrency({hkd, eur}, u"EUR"), eur);
    QCOMPARE(reportingCurrency({hkd, eur}, u"GBP"), hkd);
    QCOMPARE(reportingCurrency({hkd, eur}, u"eur"), hkd);
    QCOMPARE(reportingCurrency({}, u"EUR"), defaultReportingCurrency());
    QCOMPARE(defaultReportingCurrency().flag, QStringLiteral("\U0001F1FA\U0001F1F8"));
    QCOMPARE(defaultReportingCurrency().fxToUsd, 1.0);

    const LanguageOption ja{QStringLiteral("ja-JP"), QStringLiteral("Japanese"), QStringLiteral("日本語"),
                            QStringLiteral("ja_JP"), QStringLiteral("\U0001F1EF\U0001F1F5")};
    const LanguageOption ko{QStringLiteral("ko-KR"), QStringLiteral("Korean"), QStringLiteral("한국어"),
                            QStringLiteral("ko_KR"), QStringLiteral("\U0001F1F0\U0001F1F7")};
    QCOMPARE(selectedLanguage({ja, ko}, u"ko-KR"), ko);
    QCOMPARE(selectedLanguage({ja, ko}, u"fr-FR"), ja);
    QCOMPARE(selectedLanguage({}, u"ko-KR").code, QStringLiteral("en-US"));
    QCOMPARE(selectedLanguage({}, u"ko-KR").locale, QStringLiteral("en_US"));
}

void ValuationTest::newRowIDsAreUpperCaseVersion4()
{
    static const QRegularExpression shape(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"));
    const QString first = newRowID();
    QVERIFY2(shape.match(first).hasMatch(), qPrintable(first));
    QVERIFY(newRowID() != first);
}

QTEST_APPLESS_MAIN(ValuationTest)
#include "tst_valuation.moc"

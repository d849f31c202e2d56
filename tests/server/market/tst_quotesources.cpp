#include "server/market/QuoteSources.h"
#include "tests/support/ScriptedServer.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace quillfern::server;
using quillfern::testing::ScriptedServer;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

// The failure text of a result, for messages; QVERIFY2 builds its message even when the check passes.
template <class Result> const char *failureOf(const Result &result)
{
    const auto *reason = std::get_if<std::string>(&result);
    return reason ? reason->c_str() : "";
}

const std::string csvHeader = "Symbol,Date,Time,Open,High,Low,Close,Volume\r\n";
const std::string quotePath = "/q/l/";

std::string row(const std::string &ticker, const std::string &close)
{
    return ticker + ",2024-05-01,22:00:09,169.58,172.71,169.11," + close + ",50383147\r\n";
}

std::unique_ptr<OfflineQuotes> loaded(const std::string &csv)
{
    auto result = OfflineQuotes::fromText(csv);
    if (auto *table = std::get_if<std::unique_ptr<OfflineQuotes>>(&result))
        return std::move(*table);
    qWarning("unexpected load failure: %s", failureOf(result));
    return nullptr;
}

} // namespace

class QuoteSourcesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void offlineLookup_data();
    void offlineLookup();
    void offlineBadLinesNameTheirLine_data();
    void offlineBadLinesNameTheirLine();
    void offlineFromFile();
    void demoTableCoversEveryMarket_data();
    void demoTableCoversEveryMarket();
    void csvAnswers_data();
    void csvAnswers();
    void csvBaseURLs_data();
    void csvBaseURLs();
    void csvSilentServerTimesOut();
};

void QuoteSourcesTest::offlineLookup_data()
{
    QTest::addColumn<std::string>("csv");
    QTest::addColumn<std::string>("symbol");
    QTest::addColumn<std::string>("market");
    QTest::addColumn<double>("price"); // 0: not in the table
    QTest::addColumn<std::string>("currency");

    const std::string table = "market,symbol,price,currency\n# sample\nUS,AAPL,189.5,USD\n\nHK,0700,368.2,HKD\n"
                              "  EU , SAP , 176.42 , EUR  \nJP,7203,3195,jpy\nUS,ODD,1.5,\n";
    QTest::newRow("exact") << table << std::string("AAPL") << std::string("US") << 189.5 << std::string("USD");
    QTest::newRow("any ASCII case") << table << std::string("aApL") << std::string("us") << 189.5 << std::string("USD");
    QTest::newRow("blanks around the request")
        << table << std::string(" 0700\t") << std::string(" HK ") << 368.2 << std::string("HKD");
    QTest::newRow("blanks around the fields")
        << table << std::string("SAP") << std::string("EU") << 176.42 << std::string("EUR");
    QTest::newRow("currency upper-cased")
        << table << std::string("7203") << std::string("JP") << 3195.0 << std::string("JPY");
    QTest::newRow("currency left unsaid") << table << std::string("ODD") << std::string("US") << 1.5 << std::string();
    QTest::newRow("leading zeros matter") << table << std::string("700") << std::string("HK") << 0.0 << std::string();
    QTest::newRow("market matters") << table << std::string("AAPL") << std::string("HK") << 0.0 << std::string();
    QTest::newRow("the header is no listing")
        << table << std::string("symbol") << std::string("market") << 0.0 << std::string();
    QTest::newRow("CRLF, BOM, no header") << std::string("\xEF\xBB\xBFUS,MSFT,420.55,USD\r\n# c\r\nUS,V,272.4,USD\r\n")
                                          << std::string("msft") << std::string("US") << 420.55 << std::string("USD");
    QTest::newRow("last line without newline") << std::string("US,MSFT,420.55,USD\nUS,V,272.4,USD") << std::string("V")
                                               << std::string("US") << 272.4 << std::string("USD");
    QTest::newRow("empty table") << std::string("market,symbol,price,currency\n") << std::string("AAPL")
                                 << std::string("US") << 0.0 << std::string();
}

void QuoteSourcesTest::offlineLookup()
{
    QFETCH(std::string, csv);
    QFETCH(std::string, symbol);
    QFETCH(std::string, market);
    QFETCH(double, price);
    QFETCH(std::string, currency);

    const auto table = loaded(csv);
    QVERIFY(table);
    const auto quote = table->quote(symbol, market);
    QCOMPARE(quote.has_value(), price > 0);
    if (quote) {
        QCOMPARE(quote->price, price);
        QCOMPARE(quote->currency, currency);
    }
}

void QuoteSourcesTest::offlineBadLinesNameTheirLine_data()
{
    QTest::addColumn<std::string>("csv");
    QTest::addColumn<QString>("reasonMentions");

    const std::string start = "market,symbol,price,currency\n# demo\nUS,AAPL,189.5,USD\n";
    QTest::newRow("too few fields") << start + "US,MSFT,420\n" << QStringLiteral("line 4");
    QTest::newRow("too many fields") << start + "US,MSFT,420,USD,x\n" << QStringLiteral("line 4");
    QTest::newRow("decimal comma splits the line") << start + "\nEU,SAP,176,42,EUR\n" << QStringLiteral("line 5");
    QTest::newRow("price not a number") << start + "US,MSFT,abc,USD\n" << QStringLiteral("line 4");
    QTest::newRow("price NaN") << start + "US,MSFT,NaN,USD\n" << QStringLiteral("line 4");
    QTest::newRow("price zero") << start + "US,MSFT,0,USD\n" << QStringLiteral("line 4");
    QTest::newRow("price negative") << start + "US,MSFT,-3,USD\n" << QStringLiteral("line 4");
    QTest::newRow("price subnormal") << start + "US,MSFT,4e-320,USD\n" << QStringLiteral("line 4");
    QTest::newRow("price empty") << start + "US,MSFT,,USD\n" << QStringLiteral("line 4");
    QTest::newRow("no symbol") << start + "US, ,420,USD\n" << QStringLiteral("line 4");
    QTest::newRow("no market") << start + ",MSFT,420,USD\n" << QStringLiteral("line 4");
    QTest::newRow("bad currency") << start + "US,MSFT,420,DOLLAR\n" << QStringLiteral("line 4");
    QTest::newRow("repeated listing, other case") << start + "us,aapl,190,USD\n" << QStringLiteral("line 4");
    QTest::newRow("header in the middle") << start + "market,symbol,price,currency\n" << QStringLiteral("line 4");
    QTest::newRow("CRLF lines still counted")
        << std::string("US,A,1,USD\r\n\r\nUS,B,x,USD\r\n") << QStringLiteral("line 3");
}

void QuoteSourcesTest::offlineBadLinesNameTheirLine()
{
    QFETCH(std::string, csv);
    QFETCH(QString, reasonMentions);

    const auto result = OfflineQuotes::fromText(csv);
    const auto *reason = std::get_if<std::string>(&result);
    QVERIFY2(reason, "a bad table was loaded");
    QVERIFY2(QString::fromStdString(*reason).contains(reasonMentions), reason->c_str());
}

void QuoteSourcesTest::offlineFromFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const std::string path = folder.filePath(QStringLiteral("quotes.csv")).toStdString();
    std::ofstream(path) << "market,symbol,price,currency\nHK,0005,66.8,HKD\nHK,oops\n";

    const auto bad = OfflineQuotes::fromFile(path);
    QVERIFY(std::holds_alternative<std::string>(bad));
    QVERIFY(std::get<std::string>(bad).find(path) != std::string::npos);
    QVERIFY(std::get<std::string>(bad).find("line 3") != std::string::npos);

    std::ofstream(path) << "market,symbol,price,currency\nHK,0005,66.8,HKD\n";
    const auto good = OfflineQuotes::fromFile(path);
    QVERIFY(std::holds_alternative<std::unique_ptr<OfflineQuotes>>(good));
    QCOMPARE(std::get<std::unique_ptr<OfflineQuotes>>(good)->quote("0005", "HK")->price, 66.8);

    QVERIFY(std::holds_alternative<std::string>(OfflineQuotes::fromFile(path + ".missing")));
    QVERIFY(std::holds_alternative<std::string>(OfflineQuotes::fromFile(folder.path().toStdString())));
}

void QuoteSourcesTest::demoTableCoversEveryMarket_data()
{
    QTest::addColumn<std::string>("market");
    QTest::addColumn<std::string>("currency");
    QTest::addColumn<std::vector<std::string>>("symbols");

    QTest::newRow("US") << std::string("US") << std::string("USD")
                        << std::vector<std::string>{"AAPL", "MSFT", "NVDA",  "GOOGL", "AMZN",
                                                    "META", "TSLA", "BRK.B", "JPM",   "V"};
    QTest::newRow("HK") << std::string("HK") << std::string("HKD")
                        << std::vector<std::string>{"0700", "9988", "0005", "1299", "3690", "0941"};
    QTest::newRow("CN") << std::string("CN") << std::string("CNY")
                        << std::vector<std::string>{"600519", "601318", "000858", "300750"};
    QTest::newRow("JP") << std::string("JP") << std::string("JPY")
                        << std::vector<std::string>{"7203", "6758", "9984", "8306", "6861"};
    QTest::newRow("EU in euros") << std::string("EU") << std::string("EUR")
                                 << std::vector<std::string>{"SAP", "ASML", "MC", "SIE"};
    QTest::newRow("EU, Swiss listing in francs")
        << std::string("EU") << std::string("CHF") << std::vector<std::string>{"NESN"};
}

void QuoteSourcesTest::demoTableCoversEveryMarket()
{
    QFETCH(std::string, market);
    QFETCH(std::string, currency);
    QFETCH(std::vector<std::string>, symbols);

    auto result = OfflineQuotes::fromFile(QUILLFERN_DEMO_QUOTES);
    const auto *table = std::get_if<std::unique_ptr<OfflineQuotes>>(&result);
    QVERIFY2(table, failureOf(result));
    QVERIFY((*table)->size() >= 35 && (*table)->size() <= 50);
    for (const auto &symbol : symbols) {
        const auto quote = (*table)->quote(symbol, market);
        QVERIFY2(quote, symbol.c_str());
        QCOMPARE(quote->currency, currency);
    }
}

void QuoteSourcesTest::csvAnswers_data()
{
    QTest::addColumn<std::string>("symbol");
    QTest::addColumn<std::string>("market");
    QTest::addColumn<int>("status");
    QTest::addColumn<std::string>("body");
    QTest::addColumn<std::string>("target"); // empty: no request may be sent
    QTest::addColumn<double>("price");       // 0: nullopt
    QTest::addColumn<std::string>("currency");
    QTest::addColumn<int>("failures");

    const auto q = [](const std::string &ticker) { return "/q/l/?s=" + ticker + "&f=sd2t2ohlcv&h&e=csv"; };
    QTest::newRow("US found") << std::string("AAPL") << std::string("US") << 200 << csvHeader + row("AAPL.US", "169.30")
                              << q("aapl.us") << 169.30 << std::string("USD") << 0;
    QTest::newRow("HK zeros stripped") << std::string("0700") << std::string("HK") << 200
                                       << csvHeader + row("700.HK", "368.20") << q("700.hk") << 368.20
                                       << std::string("HKD") << 0;
    QTest::newRow("HK inner zeros kept") << std::string("00005") << std::string("hk") << 200
                                         << csvHeader + row("5.HK", "66.80") << q("5.hk") << 66.80 << std::string("HKD")
                                         << 0;
    QTest::newRow("JP") << std::string("7203") << std::string("JP") << 200 << csvHeader + row("7203.JP", "3195")
                        << q("7203.jp") << 3195.0 << std::string("JPY") << 0;
    QTest::newRow("EU asks the German listing")
        << std::string("SAP") << std::string("EU") << 200 << csvHeader + row("SAP.DE", "176.42") << q("sap.de")
        << 176.42 << std::string("EUR") << 0;
    QTest::newRow("case and blanks ignored")
        << std::string(" Msft ") << std::string(" us") << 200 << csvHeader + row("MSFT.US", "420.55") << q("msft.us")
        << 420.55 << std::string("USD") << 0;
    QTest::newRow("dot kept") << std::string("BRK.B") << std::string("US") << 200
                              << csvHeader + row("BRK.B.US", "408.9") << q("brk.b.us") << 408.9 << std::string("USD")
                              << 0;
    QTest::newRow("reserved characters encoded")
        << std::string("A&B=C D") << std::string("US") << 200 << csvHeader + row("A&B=C D.US", "12")
        << q("a%26b%3Dc%20d.us") << 12.0 << std::string("USD") << 0;
    QTest::newRow("LF line ends") << std::string("V") << std::string("US") << 200
                                  << std::string("Symbol,Date,Time,Open,High,Low,Close,Volume\nV.US,2024-05-01,"
                                                 "22:00:09,270,275,269,272.4,1000\n")
                                  << q("v.us") << 272.4 << std::string("USD") << 0;
    QTest::newRow("unknown: N/D") << std::string("NOPE") << std::string("US") << 200
                                  << csvHeader + "NOPE.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n"
                                  << q("nope.us") << 0.0 << std::string() << 0;
    QTest::newRow("CN is not asked") << std::string("600519") << std::string("CN") << 200 << std::string()
                                     << std::string() << 0.0 << std::string() << 0;
    QTest::newRow("unknown market is not asked") << std::string("AAPL") << std::string("XX") << 200 << std::string()
                                                 << std::string() << 0.0 << std::string() << 0;
    QTest::newRow("empty symbol is not asked")
        << std::string("  ") << std::string("US") << 200 << std::string() << std::string() << 0.0 << std::string() << 0;
    QTest::newRow("server error") << std::string("AAPL") << std::string("US") << 500 << csvHeader + row("AAPL.US", "1")
                                  << q("aapl.us") << 0.0 << std::string() << 1;
    QTest::newRow("HTML instead of CSV") << std::string("AAPL") << std::string("US") << 200
                                         << std::string("<html>rate limited</html>") << q("aapl.us") << 0.0
                                         << std::string() << 1;
    QTest::newRow("header only") << std::string("AAPL") << std::string("US") << 200 << csvHeader << q("aapl.us") << 0.0
                                 << std::string() << 1;
    QTest::newRow("no header") << std::string("AAPL") << std::string("US") << 200 << row("AAPL.US", "169.30")
                               << q("aapl.us") << 0.0 << std::string() << 1;
    QTest::newRow("close not a number") << std::string("AAPL") << std::string("US") << 200
                                        << csvHeader + row("AAPL.US", "1.2.3") << q("aapl.us") << 0.0 << std::string()
                                        << 1;
    QTest::newRow("close zero") << std::string("AAPL") << std::string("US") << 200 << csvHeader + row("AAPL.US", "0")
                                << q("aapl.us") << 0.0 << std::string() << 1;
    QTest::newRow("close subnormal") << std::string("AAPL") << std::string("US") << 200
                                     << csvHeader + row("AAPL.US", "1e-310") << q("aapl.us") << 0.0 << std::string() << 1;
    QTest::newRow("row for another symbol")
        << std::string("AAPL") << std::string("US") << 200 << csvHeader + row("MSFT.US", "420") << q("aapl.us") << 0.0
        << std::string() << 1;
    QTest::newRow("short row") << std::string("AAPL") << std::string("US") << 200
                               << csvHeader + "AAPL.US,2024-05-01,169.30\r\n"
                               << q("aapl.us") << 0.0 << std::string() << 1;
}

void QuoteSourcesTest::csvAnswers()
{
    QFETCH(std::string, symbol);
    QFETCH(std::string, market);
    QFETCH(int, status);
    QFETCH(std::string, body);
    QFETCH(std::string, target);
    QFETCH(double, price);
    QFETCH(std::string, currency);
    QFETCH(int, failures);

    ScriptedServer server;
    server.on("GET", quotePath, {status, body, "text/csv"});
    CsvQuoteSource source(server.baseURL().toString().toStdString());

    const auto quote = source.quote(symbol, market);
    QCOMPARE(quote.has_value(), price > 0);
    if (quote) {
        QCOMPARE(quote->price, price);
        QCOMPARE(quote->currency, currency);
    }
    QCOMPARE(source.failures(), std::size_t(failures));
    QCOMPARE(source.lastFailure().empty(), failures == 0);

    const auto received = server.received();
    QCOMPARE(received.size(), std::size_t(target.empty() ? 0 : 1));
    if (!target.empty())
        QCOMPARE(received[0].target, target);
}

void QuoteSourcesTest::csvBaseURLs_data()
{
    QTest::addColumn<std::string>("base"); // "{origin}" is the stand-in's; "{closed}" a port nobody listens on
    QTest::addColumn<std::string>("target");
    QTest::addColumn<bool>("found");

    QTest::newRow("origin with slash") << std::string("{origin}/")
                                       << std::string("/q/l/?s=aapl.us&f=sd2t2ohlcv&h&e=csv") << true;
    QTest::newRow("path prefix") << std::string("{origin}/proxy//")
                                 << std::string("/proxy/q/l/?s=aapl.us&f=sd2t2ohlcv&h&e=csv") << true;
    QTest::newRow("refused connection") << std::string("{closed}") << std::string() << false;
    QTest::newRow("not http") << std::string("file:///tmp/quotes") << std::string() << false;
    QTest::newRow("base with a query") << std::string("{origin}/?key=1") << std::string() << false;
    QTest::newRow("empty") << std::string() << std::string() << false;
}

void QuoteSourcesTest::csvBaseURLs()
{
    QFETCH(std::string, base);
    QFETCH(std::string, target);
    QFETCH(bool, found);

    int closedPort = 0;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    ScriptedServer server;
    const std::string answer = csvHeader + row("AAPL.US", "169.30");
    server.on("GET", "/q/l/", {200, answer, "text/csv"});
    server.on("GET", "/proxy/q/l/", {200, answer, "text/csv"});
    if (base.rfind("{origin}", 0) == 0)
        base.replace(0, 8, server.baseURL().toString().toStdString());
    if (base.rfind("{closed}", 0) == 0)
        base.replace(0, 8, "http://127.0.0.1:" + std::to_string(closedPort));

    CsvQuoteSource source(base);
    const auto quote = source.quote("AAPL", "US");
    QCOMPARE(quote.has_value(), found);
    QCOMPARE(source.failures(), std::size_t(found ? 0 : 1));
    const auto received = server.received();
    QCOMPARE(received.size(), std::size_t(target.empty() ? 0 : 1));
    if (!target.empty())
        QCOMPARE(received[0].target, target);
}

void QuoteSourcesTest::csvSilentServerTimesOut()
{
    ScriptedServer server;
    ScriptedServer::Reply silent;
    silent.hang = true;
    server.on("GET", quotePath, silent);
    CsvQuoteSource source(server.baseURL().toString().toStdString());

    const auto started = std::chrono::steady_clock::now();
    QVERIFY(!source.quote("AAPL", "US"));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    QVERIFY(elapsed >= std::chrono::seconds(4));
    QVERIFY(elapsed < std::chrono::seconds(9));
    QCOMPARE(source.failures(), std::size_t(1));
}

QTEST_GUILESS_MAIN(QuoteSourcesTest)
#include "tst_quotesources.moc"

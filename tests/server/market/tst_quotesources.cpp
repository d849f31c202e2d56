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
    void dailyHistory_data();
    void dailyHistory();
    void offlineLookup_data();
    void offlineLookup();
    void offlineBadLinesNameTheirLine_data();
    void offlineBadLinesNameTheirLine();
    void offlineFromFile();
    void demoTableCoversEveryMarket_data();
    void demoTableCoversEveryMarket();
    void csvAnswers_data();
    void csvAnswers();
    void csvSilentServerTimesOut();
    void csvAsOfIsTheSourcesTimeInUtc_data();
    void csvAsOfIsTheSourcesTimeInUtc();
    void csvFailuresAreLoggedOnceUntilItAnswersAgain();
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
    const auto add = [](const char *name, const std::string &csv, const char *symbol, const char *market, double price,
                        const char *currency) {
        QTest::newRow(name) << csv << std::string(symbol) << std::string(market) << price << std::string(currency);
    };
    add("exact", table, "AAPL", "US", 189.5, "USD");
    add("any ASCII case", table, "aApL", "us", 189.5, "USD");
    add("blanks around the request", table, " 0700\t", " HK ", 368.2, "HKD");
    add("blanks around the fields", table, "SAP", "EU", 176.42, "EUR");
    add("currency upper-cased", table, "7203", "JP", 3195.0, "JPY");
    add("currency left unsaid", table, "ODD", "US", 1.5, "");
    add("leading zeros matter", table, "700", "HK", 0, "");
    add("market matters", table, "AAPL", "HK", 0, "");
    add("the header is no listing", table, "symbol", "market", 0, "");
    add("CRLF, BOM, no header", "\xEF\xBB\xBFUS,MSFT,420.55,USD\r\n# c\r\nUS,V,272.4,USD\r\n", "msft", "US", 420.55,
        "USD");
    add("last line without newline", "US,MSFT,420.55,USD\nUS,V,272.4,USD", "V", "US", 272.4, "USD");
    add("empty table", "market,symbol,price,currency\n", "AAPL", "US", 0, "");
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

    const auto add = [](const char *name, const char *market, const char *currency, std::vector<std::string> symbols) {
        QTest::newRow(name) << std::string(market) << std::string(currency) << symbols;
    };
    add("US", "US", "USD", {"AAPL", "MSFT", "NVDA", "GOOGL", "AMZN", "META", "TSLA", "BRK.B", "JPM", "V"});
    add("HK", "HK", "HKD", {"0700", "9988", "0005", "1299", "3690", "0941"});
    add("CN", "CN", "CNY", {"600519", "601318", "000858", "300750"});
    add("JP", "JP", "JPY", {"7203", "6758", "9984", "8306", "6861"});
    add("EU in euros", "EU", "EUR", {"SAP", "ASML", "MC", "SIE"});
    add("EU, Swiss listing in francs", "EU", "CHF", {"NESN"});
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
    QTest::addColumn<std::string>("base"); // "{origin}" is the stand-in's; "{closed}" a port nobody listens on
    QTest::addColumn<std::string>("symbol");
    QTest::addColumn<std::string>("market");
    QTest::addColumn<int>("status");
    QTest::addColumn<std::string>("body");
    QTest::addColumn<std::string>("target"); // empty: no request may be sent
    QTest::addColumn<double>("price");       // 0: nullopt
    QTest::addColumn<std::string>("currency");
    QTest::addColumn<int>("failures");

    const auto q = [](const std::string &ticker) { return "/q/l/?s=" + ticker + "&f=sd2t2ohlcv&h&e=csv"; };
    const auto add = [](const char *name, const char *symbol, const char *market, int status, const std::string &body,
                        const std::string &target, double price, const char *currency, int failures,
                        const char *base = "{origin}") {
        QTest::newRow(name) << std::string(base) << std::string(symbol) << std::string(market) << status << body
                            << target << price << std::string(currency) << failures;
    };
    // A quote found: the listing the answer names, its close and the ticker the request must ask for.
    const auto found = [&](const char *name, const char *symbol, const char *market, const std::string &listing,
                           const char *close, const std::string &ticker, double price, const char *currency) {
        add(name, symbol, market, 200, csvHeader + row(listing, close), q(ticker), price, currency, 0);
    };
    const auto failed = [&](const char *name, int status, const std::string &body) {
        add(name, "AAPL", "US", status, body, q("aapl.us"), 0, "", 1);
    };
    const auto notAsked = [&](const char *name, const char *symbol, const char *market) {
        add(name, symbol, market, 200, {}, {}, 0, "", 0);
    };
    found("US found", "AAPL", "US", "AAPL.US", "169.30", "aapl.us", 169.30, "USD");
    found("HK zeros stripped", "0700", "HK", "700.HK", "368.20", "700.hk", 368.20, "HKD");
    found("HK inner zeros kept", "00005", "hk", "5.HK", "66.80", "5.hk", 66.80, "HKD");
    found("JP", "7203", "JP", "7203.JP", "3195", "7203.jp", 3195.0, "JPY");
    found("EU asks the German listing", "SAP", "EU", "SAP.DE", "176.42", "sap.de", 176.42, "EUR");
    found("case and blanks ignored", " Msft ", " us", "MSFT.US", "420.55", "msft.us", 420.55, "USD");
    found("dot kept", "BRK.B", "US", "BRK.B.US", "408.9", "brk.b.us", 408.9, "USD");
    found("reserved characters encoded", "A&B=C D", "US", "A&B=C D.US", "12", "a%26b%3Dc%20d.us", 12.0, "USD");
    add("LF line ends", "V", "US", 200,
        "Symbol,Date,Time,Open,High,Low,Close,Volume\nV.US,2024-05-01,22:00:09,270,275,269,272.4,1000\n", q("v.us"),
        272.4, "USD", 0);
    add("unknown: N/D", "NOPE", "US", 200, csvHeader + "NOPE.US,N/D,N/D,N/D,N/D,N/D,N/D,N/D\r\n", q("nope.us"), 0, "",
        0);
    notAsked("CN is not asked", "600519", "CN");
    notAsked("unknown market is not asked", "AAPL", "XX");
    notAsked("empty symbol is not asked", "  ", "US");
    failed("server error", 500, csvHeader + row("AAPL.US", "1"));
    failed("HTML instead of CSV", 200, "<html>rate limited</html>");
    failed("header only", 200, csvHeader);
    failed("no header", 200, row("AAPL.US", "169.30"));
    failed("close not a number", 200, csvHeader + row("AAPL.US", "1.2.3"));
    failed("close zero", 200, csvHeader + row("AAPL.US", "0"));
    failed("close subnormal", 200, csvHeader + row("AAPL.US", "1e-310"));
    failed("row for another symbol", 200, csvHeader + row("MSFT.US", "420"));
    failed("short row", 200, csvHeader + "AAPL.US,2024-05-01,169.30\r\n");
    // Where the source is pointed.
    const std::string answer = csvHeader + row("AAPL.US", "169.30");
    add("origin with slash", "AAPL", "US", 200, answer, q("aapl.us"), 169.30, "USD", 0, "{origin}/");
    add("path prefix", "AAPL", "US", 200, answer, "/proxy" + q("aapl.us"), 169.30, "USD", 0, "{origin}/proxy//");
    add("refused connection", "AAPL", "US", 200, answer, {}, 0, "", 1, "{closed}");
    add("not http", "AAPL", "US", 200, answer, {}, 0, "", 1, "file:///tmp/quotes");
    add("base with a query", "AAPL", "US", 200, answer, {}, 0, "", 1, "{origin}/?key=1");
    add("empty base", "AAPL", "US", 200, answer, {}, 0, "", 1, "");
}

void QuoteSourcesTest::csvAnswers()
{
    QFETCH(std::string, base);
    QFETCH(std::string, symbol);
    QFETCH(std::string, market);
    QFETCH(int, status);
    QFETCH(std::string, body);
    QFETCH(std::string, target);
    QFETCH(double, price);
    QFETCH(std::string, currency);
    QFETCH(int, failures);

    int closedPort = 0;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    ScriptedServer server;
    server.on("GET", quotePath, {status, body, "text/csv"});
    server.on("GET", "/proxy" + quotePath, {status, body, "text/csv"});
    if (base.rfind("{origin}", 0) == 0)
        base.replace(0, 8, server.baseURL().toString().toStdString());
    if (base.rfind("{closed}", 0) == 0)
        base.replace(0, 8, "http://127.0.0.1:" + std::to_string(closedPort));
    std::vector<std::string> logged;
    CsvQuoteSource source(base, [&logged](const std::string &line) { logged.push_back(line); });

    const auto quote = source.quote(symbol, market);
    QCOMPARE(quote.has_value(), price > 0);
    if (quote) {
        QCOMPARE(quote->price, price);
        QCOMPARE(quote->currency, currency);
    }
    QCOMPARE(source.failures(), std::size_t(failures));
    QCOMPARE(source.lastFailure().empty(), failures == 0);
    QCOMPARE(logged.size(), std::size_t(failures));

    const auto received = server.received();
    QCOMPARE(received.size(), std::size_t(target.empty() ? 0 : 1));
    if (!target.empty())
        QCOMPARE(received[0].target, target);
}

void QuoteSourcesTest::csvAsOfIsTheSourcesTimeInUtc_data()
{
    QTest::addColumn<std::string>("date");
    QTest::addColumn<std::string>("time");
    QTest::addColumn<std::string>("asOf"); // empty: not said
    // The source writes Central European time: UTC+1 in winter, UTC+2 in summer.
    QTest::newRow("summer") << std::string("2024-05-01") << std::string("22:00:09")
                            << std::string("2024-05-01T20:00:09Z");
    QTest::newRow("winter") << std::string("2026-12-04") << std::string("22:00:09")
                            << std::string("2026-12-04T21:00:09Z");
    QTest::newRow("after midnight") << std::string("2026-12-05") << std::string("00:30:00")
                                    << std::string("2026-12-04T23:30:00Z");
    QTest::newRow("date not given") << std::string("N/D") << std::string("22:00:09") << std::string();
    QTest::newRow("time not a time") << std::string("2026-12-04") << std::string("25:00:00") << std::string();
}

void QuoteSourcesTest::csvAsOfIsTheSourcesTimeInUtc()
{
    QFETCH(std::string, date);
    QFETCH(std::string, time);
    QFETCH(std::string, asOf);
    ScriptedServer server;
    server.on(
        "GET", quotePath,
        {200, csvHeader + "AAPL.US," + date + "," + time + ",169.58,172.71,169.11,169.30,50383147\r\n", "text/csv"});
    CsvQuoteSource source(server.baseURL().toString().toStdString(), [](const std::string &) {});
    const auto quote = source.quote("AAPL", "US");
    QVERIFY(quote);
    QCOMPARE(quote->asOf, asOf);
    QVERIFY(source.serves("jp") && !source.serves("CN"));
}

void QuoteSourcesTest::csvFailuresAreLoggedOnceUntilItAnswersAgain()
{
    ScriptedServer server;
    server.on("GET", quotePath, {503, "<html>busy</html>", "text/html"});
    std::vector<std::string> logged;
    CsvQuoteSource source(server.baseURL().toString().toStdString(),
                          [&logged](const std::string &line) { logged.push_back(line); });
    for (int request = 0; request < 3; ++request)
        QVERIFY(!source.quote("AAPL", "US"));
    QCOMPARE(source.failures(), std::size_t(3));
    QCOMPARE(logged.size(), std::size_t(1));
    QVERIFY(logged[0].find("HTTP 503") != std::string::npos);

    server.on("GET", quotePath, {200, csvHeader + row("AAPL.US", "169.30"), "text/csv"});
    QVERIFY(source.quote("AAPL", "US"));
    QVERIFY(source.quote("AAPL", "US"));
    QCOMPARE(logged, (std::vector<std::string>{logged[0], "quote source answering again"}));
}

void QuoteSourcesTest::csvSilentServerTimesOut()
{
    ScriptedServer server;
    ScriptedServer::Reply silent;
    silent.hang = true;
    server.on("GET", quotePath, silent);
    CsvQuoteSource source(server.baseURL().toString().toStdString(), [](const std::string &) {});

    const auto started = std::chrono::steady_clock::now();
    QVERIFY(!source.quote("AAPL", "US"));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    QVERIFY(elapsed >= std::chrono::seconds(4));
    QVERIFY(elapsed < std::chrono::seconds(9));
    QCOMPARE(source.failures(), std::size_t(1));
}

void QuoteSourcesTest::dailyHistory_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<QString>("closes"); // "day=close ..." or "none" when not this format
    QTest::newRow("with volume, CRLF") << "Date,Open,High,Low,Close,Volume\r\n2026-11-02,1,2,0.5,1.5,10\r\n"
                                          "2026-11-03,1,2,0.5,1.75,10\r\n"
                                       << "2026-11-02=1.5 2026-11-03=1.75";
    QTest::newRow("without volume") << "date,open,high,low,close\n2026-11-02,1,2,0.5,3\n"
                                    << "2026-11-02=3";
    QTest::newRow("unknown listing") << "No data"
                                     << "";
    QTest::newRow("a close that is not a price is skipped") << "Date,Open,High,Low,Close\n2026-11-02,1,1,1,0\n"
                                                               "2026-11-03,1,1,1,N/D\n2026-11-04,1,1,1,2\n"
                                                            << "2026-11-04=2";
    QTest::newRow("the quote format") << "Symbol,Date,Time,Open,High,Low,Close,Volume\nAAPL.US,2026-11-02,1,1,1,1,1,1\n"
                                      << "none";
    QTest::newRow("a date that is not one") << "Date,Open,High,Low,Close\n2026-02-30,1,1,1,1\n"
                                            << "none";
    QTest::newRow("a short row") << "Date,Open,High,Low,Close\n2026-11-02,1,1\n"
                                 << "none";
    QTest::newRow("empty") << ""
                           << "none";
}

void QuoteSourcesTest::dailyHistory()
{
    QFETCH(QString, csv);
    QFETCH(QString, closes);
    const auto parsed = parseDailyHistory(csv.toStdString());
    QCOMPARE(parsed.has_value(), closes != QLatin1String("none"));
    if (!parsed)
        return;
    QStringList got;
    for (const DailyClose &close : *parsed)
        got << QString::fromStdString(close.day) + u'=' + QString::number(close.close);
    QCOMPARE(got.join(u' '), closes);
}

QTEST_GUILESS_MAIN(QuoteSourcesTest)
#include "tst_quotesources.moc"

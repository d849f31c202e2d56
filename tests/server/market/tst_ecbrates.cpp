#include "server/market/EcbRates.h"
#include "tests/support/ScriptedServer.h"

#include <QFile>
#include <QTest>

#include <chrono>

using namespace quillfern::server;
using quillfern::testing::ScriptedServer;

Q_DECLARE_METATYPE(std::string)

namespace {

// The failure text of a result, for messages; QVERIFY2 builds its message even when the check passes.
template <class Result> const char *failureOf(const Result &result)
{
    const auto *reason = std::get_if<std::string>(&result);
    return reason ? reason->c_str() : "";
}

const std::string envelopeOpen = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                                 R"(<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01" )"
                                 R"(xmlns="http://www.ecb.int/vocabulary/2002-08-01/eurofxref">)"
                                 "<gesmes:subject>Reference rates</gesmes:subject>";

// A whole daily document around the given rate Cubes.
std::string daily(const std::string &rates, const std::string &time = "2024-05-02")
{
    return envelopeOpen + "<Cube><Cube time='" + time + "'>" + rates + "</Cube></Cube></gesmes:Envelope>";
}

std::string sample()
{
    QFile file(QStringLiteral(QUILLFERN_MARKET_SAMPLES "/ecb-daily-sample.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

} // namespace

class EcbRatesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void historyGivesEveryDay_data();
    void historyGivesEveryDay();
    void sampleGivesDollarsPerUnit_data();
    void sampleGivesDollarsPerUnit();
    void wellFormedVariants_data();
    void wellFormedVariants();
    void malformedDocumentsFail_data();
    void malformedDocumentsFail();
    void fetchReadsTheServedDocument();
    void fetchFailures_data();
    void fetchFailures();
};

// "day:USD-per-euro:GBP-per-euro ..." as written in the document, newest first; the expected dollars per pound
// of each day, or the failure's wording.
void EcbRatesTest::historyGivesEveryDay_data()
{
    QTest::addColumn<QString>("days");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three days") << "2024-05-03:1.08:0.864 2024-05-02:1.2:0.96 2024-04-30:1.5:1.25"
                                << "2024-05-03=1.25 2024-05-02=1.25 2024-04-30=1.2";
    QTest::newRow("one day") << "2024-05-03:1.08:0.864"
                             << "2024-05-03=1.25";
    QTest::newRow("a day without a dollar rate") << "2024-05-03:1.08:0.864 2024-05-02::0.96"
                                                 << "2024-05-02 have no USD rate";
}

void EcbRatesTest::historyGivesEveryDay()
{
    QFETCH(QString, days);
    QFETCH(QString, expected);
    std::string xml = envelopeOpen + "<Cube>";
    for (const QString &day : days.split(u' ')) {
        const QStringList parts = day.split(u':');
        xml += "<Cube time='" + parts[0].toStdString() + "'>";
        if (!parts[1].isEmpty())
            xml += "<Cube currency='USD' rate='" + parts[1].toStdString() + "'/>";
        xml += "<Cube currency='GBP' rate='" + parts[2].toStdString() + "'/></Cube>";
    }
    xml += "</Cube></gesmes:Envelope>";
    const auto parsed = parseEcbHistory(xml);
    if (const auto *reason = std::get_if<std::string>(&parsed)) {
        QVERIFY2(QString::fromStdString(*reason).contains(expected), reason->c_str());
        return;
    }
    QStringList got;
    for (const EcbRates &rates : std::get<std::vector<EcbRates>>(parsed))
        got << QString::fromStdString(rates.date) + u'=' + QString::number(rates.usdPerUnit.at("GBP"), 'g', 12);
    QCOMPARE(got.join(u' '), expected);
}

void EcbRatesTest::sampleGivesDollarsPerUnit_data()
{
    QTest::addColumn<std::string>("currency");
    QTest::addColumn<double>("usdPerUnit");

    QTest::newRow("dollar is one") << std::string("USD") << 1.0;
    QTest::newRow("euro is the USD rate") << std::string("EUR") << 1.0702;
    QTest::newRow("yen") << std::string("JPY") << 0.006501032681326692;
    QTest::newRow("pound above a dollar") << std::string("GBP") << 1.251871607711024;
    QTest::newRow("franc") << std::string("CHF") << 1.0937148696985182;
    QTest::newRow("Hong Kong dollar") << std::string("HKD") << 0.12786140979689367;
    QTest::newRow("yuan") << std::string("CNY") << 0.13810279638160866;
    QTest::newRow("rupiah, tiny") << std::string("IDR") << 6.186102137158982e-05;
    QTest::newRow("last listed") << std::string("ZAR") << 0.05346989757681739;
}

void EcbRatesTest::sampleGivesDollarsPerUnit()
{
    QFETCH(std::string, currency);
    QFETCH(double, usdPerUnit);

    const auto parsed = parseEcbDaily(sample());
    const auto *rates = std::get_if<EcbRates>(&parsed);
    QVERIFY2(rates, failureOf(parsed));
    QCOMPARE(rates->date, std::string("2024-05-02"));
    QCOMPARE(rates->usdPerUnit.size(), std::size_t(31)); // 30 listed, plus EUR
    QVERIFY(rates->usdPerUnit.count(currency));
    QVERIFY2(std::abs(rates->usdPerUnit.at(currency) / usdPerUnit - 1) < 1e-12, currency.c_str());
}

void EcbRatesTest::wellFormedVariants_data()
{
    QTest::addColumn<std::string>("xml");
    QTest::addColumn<std::string>("date");
    QTest::addColumn<double>("usdPerGbp");

    const std::string rates = "<Cube currency='USD' rate='1.0813'/><Cube currency='GBP' rate='0.8563'/>";
    const auto add = [](const char *name, const std::string &xml, const char *date = "2024-05-02") {
        QTest::newRow(name) << xml << std::string(date) << 1.2627583790727548;
    };
    add("minimal", daily(rates));
    add("double quotes, spaces around =",
        daily(R"(<Cube currency = "USD" rate = "1.0813" /><Cube rate="0.8563" currency="GBP"></Cube>)"));
    add("whitespace and comments between elements", daily("\n\t <!-- morning -->\r\n<Cube currency='USD'\n "
                                                          "rate='1.0813'/>\n\n<Cube currency='GBP' rate='0.8563'/>  "));
    add("blanks inside the values",
        daily("<Cube currency=' USD ' rate=' 1.0813'/><Cube currency='GBP' rate='0.8563 '/>"));
    add("no XML declaration", daily(rates).substr(daily(rates).find("<gesmes:Envelope")));
    add("other prefixes for both namespaces",
        R"(<e:Envelope xmlns:e="http://www.gesmes.org/xml/2002-08-01" )"
        R"(xmlns:x="http://www.ecb.int/vocabulary/2002-08-01/eurofxref"><x:Cube><x:Cube time="2024-05-03">)"
        R"(<x:Cube currency="USD" rate="1.0813"/><x:Cube currency="GBP" rate="0.8563"/>)"
        R"(</x:Cube></x:Cube></e:Envelope>)",
        "2024-05-03");
    add("Cubes of another namespace are not rates",
        daily(rates + R"(<Cube xmlns="urn:other" currency="GBP" rate="9"/>)"));
    add("history: the first day is read",
        envelopeOpen + "<Cube><Cube time='2024-05-03'>" + rates +
            "</Cube><Cube time='2024-05-02'><Cube currency='USD' rate='1.07'/><Cube currency='GBP' rate='0.85'/>"
            "<Cube currency='XXZ' rate='junk'/></Cube></Cube></gesmes:Envelope>",
        "2024-05-03");
    add("exponent notation", daily("<Cube currency='USD' rate='10.813e-1'/><Cube currency='GBP' rate='8.563E-1'/>"));
}

void EcbRatesTest::wellFormedVariants()
{
    QFETCH(std::string, xml);
    QFETCH(std::string, date);
    QFETCH(double, usdPerGbp);

    const auto parsed = parseEcbDaily(xml);
    const auto *rates = std::get_if<EcbRates>(&parsed);
    QVERIFY2(rates, failureOf(parsed));
    QCOMPARE(rates->date, date);
    QCOMPARE(rates->usdPerUnit.size(), std::size_t(3));
    QVERIFY(std::abs(rates->usdPerUnit.at("GBP") / usdPerGbp - 1) < 1e-12);
    QVERIFY(std::abs(rates->usdPerUnit.at("EUR") / 1.0813 - 1) < 1e-12);
    QCOMPARE(rates->usdPerUnit.at("USD"), 1.0);
}

void EcbRatesTest::malformedDocumentsFail_data()
{
    QTest::addColumn<std::string>("xml");
    QTest::addColumn<QString>("reasonMentions");

    const std::string usd = "<Cube currency='USD' rate='1.0813'/>";
    const auto gbpAt = [&](const std::string &rate) {
        return daily(usd + "<Cube currency='GBP' rate='" + rate + "'/>");
    };
    QTest::newRow("empty") << std::string() << QStringLiteral("empty");
    QTest::newRow("only blank lines") << std::string(" \r\n\t\n") << QStringLiteral("empty");
    QTest::newRow("only a comment") << std::string("<!-- nothing today -->") << QStringLiteral("XML");
    QTest::newRow("an HTML error page") << std::string("<html><body><h1>502 Bad Gateway</h1></body></html>")
                                        << QStringLiteral("envelope");
    QTest::newRow("not XML at all") << std::string("USD,1.0813") << QStringLiteral("XML");
    QTest::newRow("truncated") << daily(usd).substr(0, daily(usd).size() - 20) << QStringLiteral("XML");
    QTest::newRow("mismatched end tag") << daily(usd + "<Cube currency='GBP' rate='0.85'></Cub>")
                                        << QStringLiteral("XML");
    QTest::newRow("content after the envelope") << daily(usd) + "<Cube/>" << QStringLiteral("XML");
    QTest::newRow("unquoted attribute") << daily("<Cube currency=USD rate='1.08'/>") << QStringLiteral("XML");
    QTest::newRow("Cubes outside the ECB namespace")
        << std::string(
               R"(<gesmes:Envelope xmlns:gesmes="http://www.gesmes.org/xml/2002-08-01"><Cube><Cube time="2024-05-02">)"
               R"(<Cube currency="USD" rate="1.08"/></Cube></Cube></gesmes:Envelope>)")
        << QStringLiteral("no dated Cube");
    QTest::newRow("no dated Cube") << (envelopeOpen + "<Cube>" + usd + "</Cube></gesmes:Envelope>")
                                   << QStringLiteral("no dated Cube");
    QTest::newRow("impossible date") << daily(usd, "2024-02-30") << QStringLiteral("date");
    QTest::newRow("date in another shape") << daily(usd, "02.05.2024") << QStringLiteral("date");
    QTest::newRow("no USD rate") << daily("<Cube currency='GBP' rate='0.85'/>") << QStringLiteral("no USD");
    QTest::newRow("no rates at all") << daily("") << QStringLiteral("no USD");
    QTest::newRow("decimal comma") << gbpAt("0,85") << QStringLiteral("GBP is not a number");
    QTest::newRow("NaN") << gbpAt("NaN") << QStringLiteral("not a number");
    QTest::newRow("infinity") << gbpAt("inf") << QStringLiteral("not a number");
    QTest::newRow("empty rate") << gbpAt("") << QStringLiteral("not a number");
    QTest::newRow("trailing letters") << gbpAt("0.85x") << QStringLiteral("not a number");
    QTest::newRow("leading plus") << gbpAt("+0.85") << QStringLiteral("not a number");
    QTest::newRow("hex float") << gbpAt("0x1p-1") << QStringLiteral("not a number");
    QTest::newRow("out of double range") << gbpAt("1e400") << QStringLiteral("not a number");
    QTest::newRow("zero") << gbpAt("0") << QStringLiteral("not positive");
    QTest::newRow("negative") << gbpAt("-0.85") << QStringLiteral("not positive");
    QTest::newRow("subnormal") << gbpAt("1e-310") << QStringLiteral("too close to zero");
    QTest::newRow("dollar rate beyond a double")
        << daily("<Cube currency='USD' rate='1e300'/><Cube currency='GBP' rate='1e-10'/>")
        << QStringLiteral("GBP no finite dollar rate");
    QTest::newRow("USD rate not numeric") << daily("<Cube currency='USD' rate='n/a'/>") << QStringLiteral("USD");
    QTest::newRow("rate without currency") << daily(usd + "<Cube rate='0.85'/>") << QStringLiteral("lacks");
    QTest::newRow("currency without rate") << daily(usd + "<Cube currency='GBP'/>") << QStringLiteral("lacks");
    QTest::newRow("currency listed twice")
        << daily(usd + "<Cube currency='USD' rate='1.09'/>") << QStringLiteral("twice");
    QTest::newRow("lower-case code") << daily(usd + "<Cube currency='gbp' rate='0.85'/>") << QStringLiteral("currency");
}

void EcbRatesTest::malformedDocumentsFail()
{
    QFETCH(std::string, xml);
    QFETCH(QString, reasonMentions);

    const auto parsed = parseEcbDaily(xml);
    const auto *reason = std::get_if<std::string>(&parsed);
    QVERIFY2(reason, "a malformed document was accepted");
    QVERIFY2(QString::fromStdString(*reason).contains(reasonMentions), reason->c_str());
}

void EcbRatesTest::fetchReadsTheServedDocument()
{
    ScriptedServer server;
    server.on("GET", "/stats/eurofxref/eurofxref-daily.xml", {200, sample(), "text/xml"});
    const std::string url =
        "http://127.0.0.1:" + std::to_string(server.port()) + "/stats/eurofxref/eurofxref-daily.xml?when=today";

    const auto fetched = fetchEcbDaily(url);
    const auto *rates = std::get_if<EcbRates>(&fetched);
    QVERIFY2(rates, failureOf(fetched));
    QCOMPARE(rates->date, std::string("2024-05-02"));
    QCOMPARE(rates->usdPerUnit.at("EUR"), 1.0702);
    QCOMPARE(rates->usdPerUnit.size(), std::size_t(31));

    const auto received = server.received();
    QCOMPARE(received.size(), std::size_t(1));
    QCOMPARE(received[0].method, std::string("GET"));
    QCOMPARE(received[0].target, std::string("/stats/eurofxref/eurofxref-daily.xml?when=today"));
}

void EcbRatesTest::fetchFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<std::string>("body");
    // "{base}" is the stand-in's origin, "{plain}" its host and port, "{closed}" a port nobody listens on.
    QTest::addColumn<std::string>("url");
    QTest::addColumn<QString>("reasonMentions");

    const auto add = [](const char *name, const std::string &url, const char *mentions, int status = 200,
                        const std::string &body = {}) {
        QTest::newRow(name) << status << body << url << QString::fromLatin1(mentions);
    };
    const std::string path = "/eurofxref-daily.xml";
    add("server error", "{base}" + path, "HTTP 500", 500, "<Envelope/>");
    add("not found", "{base}/elsewhere.xml", "HTTP 404", 404);
    add("200 with an error page", "{base}" + path, "envelope", 200, "<html><p>maintenance</p></html>");
    add("oversized answer", "{base}" + path, "bytes", 200, std::string(5 * 1024 * 1024, ' '));
    add("refused connection", "http://{closed}" + path, "Could not fetch");
    add("refused TLS connection", "https://{closed}" + path, "Could not fetch");
    add("TLS to a plain HTTP server", "https://{plain}" + path, "Could not fetch");
    add("not an http URL", "ftp://127.0.0.1/x.xml", "not an http");
    add("no URL", "", "not an http");
}

void EcbRatesTest::fetchFailures()
{
    QFETCH(int, status);
    QFETCH(std::string, body);
    QFETCH(std::string, url);
    QFETCH(QString, reasonMentions);

    int closedPort = 0;
    {
        ScriptedServer gone;
        closedPort = gone.port();
    }
    ScriptedServer server;
    server.on("GET", "/eurofxref-daily.xml", {status, body, "text/xml"});
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    const std::map<std::string, std::string> placeholders{{"{base}", base},
                                                          {"{plain}", "127.0.0.1:" + std::to_string(server.port())},
                                                          {"{closed}", "127.0.0.1:" + std::to_string(closedPort)}};
    for (const auto &[placeholder, value] : placeholders) {
        if (const auto at = url.find(placeholder); at != std::string::npos)
            url.replace(at, placeholder.size(), value);
    }

    const auto started = std::chrono::steady_clock::now();
    const auto fetched = fetchEcbDaily(url);
    QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::seconds(10));
    const auto *reason = std::get_if<std::string>(&fetched);
    QVERIFY2(reason, "a failed fetch gave rates");
    QVERIFY2(QString::fromStdString(*reason).contains(reasonMentions), reason->c_str());
}

QTEST_GUILESS_MAIN(EcbRatesTest)
#include "tst_ecbrates.moc"

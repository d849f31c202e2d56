// Returns and risk against cases worked by hand.

#include "core/ledger/Ledger.h"
#include "core/performance/Performance.h"
#include "core/performance/ValueSeries.h"

#include <QRandomGenerator>

#include <QStringList>
#include <QTest>

#include <cmath>

using namespace quillfern;

namespace {

// "0:100 1:210+100 2:231": day, value at the day's end and the day's flow after "+" (or "-").
std::vector<DailyValue> days(const char *text)
{
    std::vector<DailyValue> out;
    for (const QString &word : QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = word.split(u':');
        QString value = parts[1];
        double flow = 0;
        const qsizetype sign = std::max(value.indexOf(u'+'), value.indexOf(u'-', 1));
        if (sign > 0) {
            flow = value.mid(sign).toDouble();
            value.truncate(sign);
        }
        out.push_back({parts[0].toInt(), value.toDouble(), flow});
    }
    return out;
}

// "" is not checked, "none" is no figure, anything else the figure to within 1e-9.
void check(const std::optional<double> &got, const QString &want, const char *what)
{
    if (want.isEmpty())
        return;
    if (want == QLatin1String("none")) {
        QVERIFY2(!got, what);
        return;
    }
    QVERIFY2(got, what);
    QVERIFY2(std::abs(*got - want.toDouble()) <= 1e-9, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(what)).arg(*got, 0, 'g', 17)));
}


std::int32_t dayOf(const LedgerTransaction &t)
{
    return std::int32_t(t.tradedAt / 86400);
}

std::string currencyOf(const std::string &market)
{
    return market == "HK" ? "HKD" : "USD";
}

// The latest figure on or before the day, looked up the slow way.
std::optional<double> latest(const DayFigures &figures, std::int32_t day)
{
    std::optional<double> found;
    for (const auto &[d, figure] : figures) {
        if (d <= day)
            found = figure;
    }
    return found;
}

LedgerTransaction trade(const char *type, const char *code, double quantity, double price, std::int32_t day,
                        std::int64_t sequence, double amount = 0, double ratio = 0, bool settles = true)
{
    LedgerTransaction t;
    t.id = "T" + std::to_string(sequence);
    t.type = type;
    t.broker = "ibkr";
    t.market = code[0] == '0' ? "HK" : "US";
    t.code = code;
    t.currency = currencyOf(t.market);
    t.quantity = quantity;
    t.price = price;
    t.amount = amount;
    t.splitRatio = ratio;
    t.settlesInCash = settles;
    t.tradedAt = std::int64_t(day) * 86400 + 36000;
    t.fxToUsd = t.currency == "HKD" ? 0.128 : 1;
    t.sequence = sequence;
    return t;
}

} // namespace

class PerformanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void handWorkedPeriods_data()
    {
        QTest::addColumn<QString>("series");
        QTest::addColumn<QString>("twr");
        QTest::addColumn<QString>("mwr");
        QTest::addColumn<QString>("gain");
        QTest::addColumn<QString>("drawdown");
        QTest::addColumn<QString>("dayChange");
        QTest::addColumn<QString>("volatility");
        const auto row = [](const char *name, const char *series, const char *twr, const char *mwr, const char *gain,
                            const char *drawdown, const char *dayChange, const char *volatility = "") {
            QTest::newRow(name) << QString::fromLatin1(series) << QString::fromLatin1(twr) << QString::fromLatin1(mwr)
                                << QString::fromLatin1(gain) << QString::fromLatin1(drawdown)
                                << QString::fromLatin1(dayChange) << QString::fromLatin1(volatility);
        };
        row("a rise and a fall", "0:100 1:110 2:99", "-0.01", "", "-1", "0.1", "-11");
        row("deposit mid-period", "0:100 1:210+100 2:231", "0.155", "", "31", "0", "21");
        row("withdrawal", "0:200 1:110-100", "0.1", "", "10", "0", "10");
        row("start from nothing", "0:0 1:105+100", "0.05", "", "5", "0", "5");
        row("deposit and withdrawal on one day", "0:100 1:160+50", "0.0666666666666667", "", "10", "0", "10");
        row("negative return", "0:100 1:80", "-0.2", "", "-20", "0.2", "-20");
        row("nothing ever in it", "0:0 1:0", "none", "none", "0", "0", "0", "none");
        row("a year at ten percent", "0:1000 365:1100", "0.1", "0.1", "100", "0", "100");
        row("second deposit a year in", "0:1000 365:2100+1000 730:2310", "0.155", "0.1", "310", "0", "210");
        row("a year's loss", "0:1000 365:900", "-0.1", "-0.1", "-100", "0.1", "-100");
        row("everything lost: no rate solves it", "0:0 10:0+100 365:0", "-1", "none", "-100", "1", "0");
        row("a dip a deposit hides", "0:100 1:195+100 2:200", "0", "", "0", "0.025", "5");
        row("steady days do not vary", "0:100 1:110 2:121", "0.21", "", "21", "0", "11", "0");
        row("up and down by a tenth", "0:100 1:110 2:99", "", "", "", "", "", "2.2449944320643649");
    }

    void handWorkedPeriods()
    {
        QFETCH(QString, series);
        const PeriodPerformance got = measurePeriod(days(series.toLatin1().constData()));
        QFETCH(QString, twr);
        check(got.timeWeighted, twr, "time-weighted");
        QFETCH(QString, mwr);
        check(got.moneyWeighted, mwr, "money-weighted");
        QFETCH(QString, gain);
        check(got.gain, gain, "gain");
        QFETCH(QString, drawdown);
        check(got.maxDrawdown, drawdown, "drawdown");
        QFETCH(QString, dayChange);
        check(got.dayChange, dayChange, "day change");
        QFETCH(QString, volatility);
        check(got.volatility, volatility, "volatility");
    }


    // Every day of random ledgers, walked once, against a replay from scratch valued the slow way.
    void seriesMatchesAReplayOfEachDay_data()
    {
        QTest::addColumn<quint32>("seed");
        for (const quint32 seed : {3u, 77u, 2024u, 31337u})
            QTest::addRow("seed %u", seed) << seed;
    }

    void seriesMatchesAReplayOfEachDay()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const char *codes[] = {"AAPL", "MSFT", "0005"};
        ValueSeriesInput input;
        input.marketCurrency = currencyOf;
        input.firstDay = 20000;
        input.lastDay = 20000 + 60;
        for (const char *code : codes) {
            DayFigures &closes = input.closes[{code[0] == '0' ? "HK" : "US", code}];
            for (std::int32_t day = input.firstDay; day <= input.lastDay; day += 1 + int(random.bounded(4)))
                closes.emplace_back(day, 10 + random.bounded(1000) / 10.0);
        }
        for (std::int32_t day = input.firstDay - 3; day <= input.lastDay; day += 7)
            input.usdPerUnit["HKD"].emplace_back(day, 0.12 + random.bounded(100) / 10000.0);
        input.opening.cash.push_back(OpeningCash{"ibkr", "USD", 1000, INT64_MIN});
        std::map<std::string, double> held;
        for (int i = 0; i < 40; ++i) {
            const char *code = codes[random.bounded(3)];
            const std::int32_t day = input.firstDay + int(random.bounded(61));
            const int kind = int(random.bounded(5));
            if (kind == 0 && held[code] > 1) {
                const double quantity = 1 + random.bounded(int(held[code]));
                held[code] -= quantity;
                input.ledger.push_back(trade("SELL", code, quantity, 50, day, i));
            } else if (kind == 1) {
                input.ledger.push_back(trade("DEPOSIT", code, 0, 0, day, i, 500));
            } else if (kind == 2 && held[code] > 0) {
                held[code] *= 2;
                input.ledger.push_back(trade("SPLIT", code, 0, 0, day, i, 0, 2));
            } else {
                const double quantity = 1 + random.bounded(20);
                held[code] += quantity;
                input.ledger.push_back(trade("BUY", code, quantity, 40, day, i, 0, 0, random.bounded(2) == 0));
            }
        }
        // Sales and splits were drawn in the order written, so dates follow it.
        std::vector<std::int32_t> dates;
        for (const auto &t : input.ledger)
            dates.push_back(dayOf(t));
        std::sort(dates.begin(), dates.end());
        for (std::size_t i = 0; i < input.ledger.size(); ++i)
            input.ledger[i].tradedAt = std::int64_t(dates[i]) * 86400 + 36000;

        const ValueSeries series = buildValueSeries(input, input.firstDay, input.lastDay);
        QVERIFY(!series.days.empty());
        for (const SeriesDay &day : series.days) {
            std::vector<LedgerTransaction> upTo;
            for (const LedgerTransaction &t : input.ledger) {
                if (dayOf(t) <= day.day)
                    upTo.push_back(t);
            }
            const LedgerReplay replay = replayLedger(input.opening, upTo, INT64_MAX);
            QVERIFY(!replay.refusal);
            const LedgerReport report = replay.state.report();
            double value = 0;
            for (const LedgerPosition &p : report.positions) {
                double later = 1;
                for (const LedgerTransaction &t : input.ledger) {
                    if (t.type == "SPLIT" && t.code == p.code && dayOf(t) > day.day)
                        later *= t.splitRatio;
                }
                const double rate = p.currency == "USD" ? 1 : *latest(input.usdPerUnit["HKD"], day.day);
                value += p.quantity * later * *latest(input.closes[{p.market, p.code}], day.day) * rate;
            }
            for (const LedgerCash &c : report.cash)
                value += c.amount * (c.currency == "USD" ? 1 : *latest(input.usdPerUnit["HKD"], day.day));
            QVERIFY2(std::abs(value - day.value) <= 1e-9 * std::max(1.0, value),
                     qPrintable(QStringLiteral("day %1: %2 against %3").arg(day.day).arg(day.value).arg(value)));
        }
    }

    // Closes adjusted for a 4-for-1 split, a deposit, a gap in the closes and a listing never priced.
    void splitsGapsAndMissingCloses()
    {
        ValueSeriesInput input;
        input.marketCurrency = currencyOf;
        input.firstDay = 100;
        input.lastDay = 106;
        input.closes[{"US", "AAPL"}] = {{100, 25}, {101, 25}, {102, 25}, {105, 25}, {106, 25}};
        input.ledger = {trade("BUY", "AAPL", 10, 100, 100, 1, 0, 0, false), trade("SPLIT", "AAPL", 0, 0, 103, 2, 0, 4),
                        trade("DEPOSIT", "AAPL", 0, 0, 104, 3, 100)};
        ValueSeries series = buildValueSeries(input, 100, 106);
        QCOMPARE(series.days.size(), std::size_t(7));
        for (const SeriesDay &day : series.days)
            QCOMPARE(day.value, day.day >= 104 ? 1100.0 : 1000.0); // carried over days 103 and 104, no loss
        QCOMPARE(series.days[4].flow, 100.0);
        QCOMPARE(*measureSeries(series.days).timeWeighted, 0.0);

        input.ledger.push_back(trade("BUY", "MSFT", 1, 300, 105, 4, 0, 0, false));
        series = buildValueSeries(input, 100, 106);
        QCOMPARE(series.days.size(), std::size_t(5)); // the days MSFT is held without a close are gaps
        QCOMPARE(series.missing, (std::vector<ListingKey>{{"US", "MSFT"}}));
    }

    // Money in both directions over years: the rate found puts the flows back to the end value.
    void moneyWeightedSolvesItsFlows()
    {
        const auto series = days("0:5000 200:7300+2000 500:6100-1500 900:4000-3000 1400:3900+800");
        const std::optional<double> rate = moneyWeightedReturn(series);
        QVERIFY(rate);
        double grown = 0;
        for (std::size_t i = 0; i < series.size(); ++i)
            grown += (i == 0 ? series[i].value : series[i].flow) * std::pow(1 + *rate, (1400 - series[i].day) / 365.0);
        QVERIFY2(std::abs(grown - 3900) < 1e-6, qPrintable(QString::number(grown, 'g', 12)));
    }
};

QTEST_GUILESS_MAIN(PerformanceTest)
#include "tst_performance.moc"

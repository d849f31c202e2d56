// Returns and risk against cases worked by hand.

#include "core/performance/Performance.h"

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

#include "server/market/MarketHours.h"

#include <QDateTime>
#include <QTest>
#include <QTimeZone>

using namespace quillfern::server;
using namespace std::chrono_literals;

class MarketHoursTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refreshDue_data();
    void refreshDue();
};

namespace {

std::int64_t utc(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toSecsSinceEpoch();
}

} // namespace

void MarketHoursTest::refreshDue_data()
{
    QTest::addColumn<QString>("market");
    QTest::addColumn<QString>("fetched"); // UTC
    QTest::addColumn<QString>("now");     // UTC
    QTest::addColumn<bool>("due");

    // 2026-12-07 is a Monday; New York is UTC-5 then, Tokyo UTC+9, Berlin UTC+1.
    const auto add = [](const char *name, const char *market, const char *fetched, const char *now, bool due) {
        QTest::newRow(name) << QString::fromLatin1(market) << QString::fromLatin1(fetched)
                            << QString::fromLatin1(now) << due;
    };
    add("US trading, 16 minutes old", "US", "2026-12-07T15:00:00Z", "2026-12-07T15:16:00Z", true);
    add("US trading, 10 minutes old", "US", "2026-12-07T15:00:00Z", "2026-12-07T15:10:00Z", false);
    add("US closed, fetched before the close", "US", "2026-12-07T20:50:00Z", "2026-12-07T22:00:00Z", true);
    add("US closed, fetched after the close", "US", "2026-12-07T21:05:00Z", "2026-12-08T03:00:00Z", false);
    add("US before the open, last close was Friday's", "US", "2026-12-04T21:10:00Z", "2026-12-07T13:00:00Z",
        false);
    add("US weekend, Friday's close not fetched yet", "US", "2026-12-04T20:00:00Z", "2026-12-05T15:00:00Z", true);
    add("US weekend, hours old but after the close", "US", "2026-12-04T22:00:00Z", "2026-12-06T18:00:00Z", false);
    add("JP trading by Tokyo's clock", "jp", "2026-12-07T01:00:00Z", "2026-12-07T01:20:00Z", true);
    add("JP closed by Tokyo's clock", "JP", "2026-12-07T06:40:00Z", "2026-12-07T08:00:00Z", false);
    add("EU summer time", "EU", "2026-06-01T14:00:00Z", "2026-06-01T15:20:00Z", true);
    add("unknown market: the interval alone", "XX", "2026-12-05T10:00:00Z", "2026-12-05T10:16:00Z", true);
    add("never fetched", "HK", "1970-01-01T00:00:00Z", "2026-12-06T12:00:00Z", true);
}

void MarketHoursTest::refreshDue()
{
    QFETCH(QString, market);
    QFETCH(QString, fetched);
    QFETCH(QString, now);
    QFETCH(bool, due);
    QCOMPARE(market::refreshDue(market.toStdString(), utc(fetched.toLatin1().constData()),
                                utc(now.toLatin1().constData()), 15min),
             due);
}

QTEST_GUILESS_MAIN(MarketHoursTest)
#include "tst_markethours.moc"

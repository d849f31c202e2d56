#include "server/market/MarketHours.h"

#include "server/market/MarketText.h"

#include <QDateTime>
#include <QTimeZone>

#include <optional>

namespace quillfern::server::market {
namespace {

struct Session {
    const char *zone;
    QTime open;
    QTime close;
};

std::optional<Session> sessionOf(const std::string &market)
{
    const std::string code = upperAscii(trimBlanks(market));
    if (code == "US")
        return Session{"America/New_York", QTime(9, 30), QTime(16, 0)};
    if (code == "HK")
        return Session{"Asia/Hong_Kong", QTime(9, 30), QTime(16, 0)};
    if (code == "JP")
        return Session{"Asia/Tokyo", QTime(9, 0), QTime(15, 30)};
    if (code == "EU") // German listings
        return Session{"Europe/Berlin", QTime(9, 0), QTime(17, 30)};
    if (code == "CN")
        return Session{"Asia/Shanghai", QTime(9, 30), QTime(15, 0)};
    return std::nullopt;
}

bool isWeekday(const QDate &day)
{
    return day.dayOfWeek() <= 5;
}

} // namespace

bool refreshDue(const std::string &market, std::int64_t fetchedAt, std::int64_t now, std::chrono::seconds interval)
{
    const bool old = now - fetchedAt >= interval.count();
    const auto session = sessionOf(market);
    const QTimeZone zone = session ? QTimeZone(QByteArray(session->zone)) : QTimeZone();
    if (!session || !zone.isValid())
        return old;
    const QDateTime local = QDateTime::fromSecsSinceEpoch(now, zone);
    const QDate today = local.date();
    const QTime time = local.time();
    if (isWeekday(today) && time >= session->open && time < session->close)
        return old;
    // Closed: the latest close before now, which a price fetched after it already reflects.
    QDate day = today;
    if (!isWeekday(day) || time < session->close)
        day = day.addDays(-1);
    while (!isWeekday(day))
        day = day.addDays(-1);
    const std::int64_t lastClose = QDateTime(day, session->close, zone).toSecsSinceEpoch();
    return fetchedAt < lastClose;
}

} // namespace quillfern::server::market

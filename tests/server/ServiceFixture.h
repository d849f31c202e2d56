#pragma once

// What the black-box tests of the service share: a fresh service per test on SQLite or PostgreSQL, and
// requests the app's own client would never send.

#include "api/PortfolioAPI.h"
#include "core/CurrencyCatalog.h"
#include "tests/support/ServiceProcess.h"

#include <httplib.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace quillfern::servicetest {

inline const QRegularExpression
    upperUUID(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"));

inline bool onPostgreSQL()
{
    return qgetenv("QUILLFERN_TEST_BACKEND") == "postgresql";
}

// A raw request, for what the app's own client would never send.
struct Raw {
    int status = 0;
    std::string body;
    httplib::Headers headers;
};

inline Raw raw(const QUrl &service, const std::string &method, const std::string &path, const QString &token = {},
               const std::string &body = {}, httplib::Headers headers = {})
{
    httplib::Client client("127.0.0.1", service.port());
    client.set_read_timeout(20);
    if (!token.isEmpty())
        headers.emplace("Authorization", "Bearer " + token.toStdString());
    const char *json = "application/json";
    httplib::Result result = method == "GET"    ? client.Get(path.c_str(), headers)
                             : method == "PUT"  ? client.Put(path.c_str(), headers, body, json)
                             : method == "POST" ? client.Post(path.c_str(), headers, body, json)
                                                : client.Delete(path.c_str(), headers);
    if (!result)
        return {};
    return Raw{result->status, result->body, result->headers};
}

inline std::string header(const Raw &answer, const char *name)
{
    const auto found = answer.headers.find(name);
    return found == answer.headers.end() ? std::string() : found->second;
}

inline QString errorText(const Raw &answer)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(answer.body))
        .object()
        .value(QStringLiteral("error"))
        .toString();
}

inline ServerHolding holding(std::optional<QString> id, QString code, double quantity = 10)
{
    return ServerHolding{std::move(id),
                         QStringLiteral("HK"),
                         QStringLiteral("Financials"),
                         QStringLiteral("Banks"),
                         std::move(code),
                         QStringLiteral("GBP"),
                         QStringLiteral("Futu"),
                         50.5,
                         quantity,
                         52,
                         9.75,
                         QStringLiteral("kept as sent")};
}

inline TransactionCreateInput trade(QString type, double quantity, double price, double commission = 0,
                                    QString tradedAt = QStringLiteral("2026-11-02T09:30:00Z"))
{
    return TransactionCreateInput{QStringLiteral("IBKR"),
                                  QStringLiteral("US"),
                                  QStringLiteral("AAPL"),
                                  std::move(type),
                                  quantity,
                                  price,
                                  commission,
                                  QStringLiteral("USD"),
                                  QStringLiteral("Information Technology"),
                                  QStringLiteral("Technology Hardware, Storage & Peripherals"),
                                  std::move(tradedAt),
                                  QStringLiteral("test"),
                                  {},
                                  {},
                                  {}};
}

// One ledger row written as words: "BUY IBKR US AAPL 10 100 5", "SELL ... nocash", "DEPOSIT IBKR USD 1000",
// "SPLIT US AAPL 4", "TRANSFER_OUT IBKR US AAPL 4", "@2027-06-01 ..." for a date of its own, "nosector".
inline TransactionCreateInput step(const QString &words, int day)
{
    QStringList t = words.split(u' ', Qt::SkipEmptyParts);
    TransactionCreateInput input{};
    input.tradedAt = QDateTime(QDate(2026, 1, 1).addDays(day), QTime(10, 0), Qt::UTC).toString(Qt::ISODate);
    if (t.first().startsWith(u'@'))
        input.tradedAt = t.takeFirst().mid(1) + QStringLiteral("T10:00:00Z");
    input.sector = QStringLiteral("Information Technology");
    input.subSector = QStringLiteral("Technology Hardware, Storage & Peripherals");
    if (t.removeAll(QStringLiteral("nosector")))
        input.sector = input.subSector = QString();
    if (t.removeAll(QStringLiteral("nocash")))
        input.settlesInCash = false;
    input.transactionType = t.value(0);
    const auto number = [&](int i) { return t.value(i, QStringLiteral("0")).toDouble(); };
    if (input.transactionType == QLatin1String("SPLIT")) {
        input.market = t.value(1);
        input.code = t.value(2);
        input.splitRatio = number(3);
    } else if (t.size() >= 5) {
        input.broker = t.value(1);
        input.market = t.value(2);
        input.code = t.value(3);
        input.currency = CurrencyCatalog::currency(input.market);
        input.quantity = number(4);
        input.price = number(5);
        input.commission = number(6);
    } else {
        input.broker = t.value(1);
        input.currency = t.value(2);
        input.amount = number(3);
    }
    return input;
}

class ServiceFixture : public QObject {
    Q_OBJECT

public Q_SLOTS:
    void init();
    void cleanup();

protected:
    bool startService(QStringList extraArguments = {});
    APIEndpoint endpoint() const { return APIEndpoint{m_service->baseURL(), m_network.get()}; }
    QString signIn(const QString &email)
    {
        return testing::signInToken(m_service->baseURL(), email.section(u'@', 0, 0), email);
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_databaseURL;
    std::unique_ptr<testing::ServiceProcess> m_service;
    std::unique_ptr<QNetworkAccessManager> m_network;
};

} // namespace quillfern::servicetest

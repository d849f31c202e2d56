// bench-service-setup PORT FOLDER: signs in to the service on 127.0.0.1:PORT with the development provider
// and writes FOLDER/token and FOLDER/put-200.json (a portfolio of 200 holdings) for wrk. The portfolio is
// stored as well, so that GET answers what a user with 200 holdings loads.

#include "api/WireCoding.h"
#include "tests/support/ServiceProcess.h"

#include <QFile>
#include <QUrl>

#include <httplib.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench-service-setup PORT FOLDER\n");
        return 2;
    }
    const QUrl service(QStringLiteral("http://127.0.0.1:%1").arg(QString::fromLatin1(argv[1])));
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString token =
        quillfern::testing::signInToken(service, QStringLiteral("Bench"), QStringLiteral("bench@example.com"));
    if (token.isEmpty()) {
        std::fprintf(stderr, "bench-service-setup: sign-in failed\n");
        return 1;
    }
    quillfern::PortfolioPutRequest request{{}, {}, QStringLiteral("macos-app")};
    for (int i = 0; i < 200; ++i) {
        request.holdings.append(quillfern::ServerHolding{
            QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0')), QStringLiteral("HK"),
            QStringLiteral("Information Technology"), QStringLiteral("Application Software"),
            QStringLiteral("%1").arg(1000 + i), QStringLiteral("HKD"), QStringLiteral("Futu"), 10.0 + i,
            100.0 * (i + 1), 12.5 + i, 0.127618574, QString()});
    }
    // Rows carry their ids, as the app's do: a row without one is new to the service on every save.
    for (int i = 0; i < 10; ++i)
        request.cashBalances.append(quillfern::ServerCashBalance{
            QStringLiteral("00000000-0000-4000-9000-%1").arg(i, 12, 10, QLatin1Char('0')), QStringLiteral("Futu"),
            1000.0 * i, QStringLiteral("HKD"), 0.128, QString()});
    QFile tokenFile(folder + QStringLiteral("/token"));
    QFile bodyFile(folder + QStringLiteral("/put-200.json"));
    if (!tokenFile.open(QIODevice::WriteOnly) || !bodyFile.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray body = *quillfern::encodeJSON(request);
    tokenFile.write(token.toLatin1());
    bodyFile.write(body);

    httplib::Client client("127.0.0.1", service.port());
    const httplib::Headers headers{{"Authorization", "Bearer " + token.toStdString()}};
    const auto stored = client.Put("/v1/portfolio", headers, body.toStdString(), "application/json");
    if (!stored || stored->status != 200) {
        std::fprintf(stderr, "bench-service-setup: storing the portfolio failed\n");
        return 1;
    }
    return 0;
}

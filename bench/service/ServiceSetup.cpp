// bench-service-setup PORT FOLDER [SAVERS]: signs in to the service on 127.0.0.1:PORT with the development
// provider and writes FOLDER/token and FOLDER/put-200.json (a portfolio of 200 holdings) for wrk. The portfolio
// is stored as well, so that GET answers what a user with 200 holdings loads. SAVERS more accounts (16 by
// default) get the same portfolio, their tokens in FOLDER/saver-N.token and the version each was stored at in
// FOLDER/saver-N.etag, so that each of wrk's savers can save on top of the version it last saw, as the app does.

#include "api/WireCoding.h"
#include "tests/support/ServiceProcess.h"

#include <QFile>
#include <QUrl>

#include <httplib.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Signs in as email, stores the portfolio and writes the token (and, with etagFile, the stored version).
bool prepareAccount(const QUrl &service, const QString &email, const QByteArray &body, const QString &tokenFile,
                    const QString &etagFile = {})
{
    const QString token = quillfern::testing::signInToken(service, QStringLiteral("Bench"), email);
    if (token.isEmpty()) {
        std::fprintf(stderr, "bench-service-setup: sign-in failed\n");
        return false;
    }
    httplib::Client client("127.0.0.1", service.port());
    const httplib::Headers headers{{"Authorization", "Bearer " + token.toStdString()}};
    const auto stored = client.Put("/v1/portfolio", headers, body.toStdString(), "application/json");
    if (!stored || stored->status != 200) {
        std::fprintf(stderr, "bench-service-setup: storing the portfolio failed\n");
        return false;
    }
    QFile tokenOut(tokenFile);
    if (!tokenOut.open(QIODevice::WriteOnly) || tokenOut.write(token.toLatin1()) < 0)
        return false;
    if (etagFile.isEmpty())
        return true;
    QFile etagOut(etagFile);
    return etagOut.open(QIODevice::WriteOnly) &&
           etagOut.write(QByteArray::fromStdString(stored->get_header_value("ETag"))) > 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench-service-setup PORT FOLDER [SAVERS]\n");
        return 2;
    }
    const QUrl service(QStringLiteral("http://127.0.0.1:%1").arg(QString::fromLatin1(argv[1])));
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const int savers = argc == 4 ? std::atoi(argv[3]) : 16;
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
    const QByteArray body = *quillfern::encodeJSON(request);
    QFile bodyFile(folder + QStringLiteral("/put-200.json"));
    if (!bodyFile.open(QIODevice::WriteOnly) || bodyFile.write(body) < 0)
        return 1;
    if (!prepareAccount(service, QStringLiteral("bench@example.com"), body, folder + QStringLiteral("/token")))
        return 1;
    for (int i = 0; i < savers; ++i) {
        const QString saver = folder + QStringLiteral("/saver-%1").arg(i);
        if (!prepareAccount(service, QStringLiteral("saver-%1@example.com").arg(i), body,
                            saver + QStringLiteral(".token"), saver + QStringLiteral(".etag")))
            return 1;
    }
    return 0;
}

#include "api/PortfolioSync.h"
#include "api/WireCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace quillfern;

namespace {

ServerHolding storedHolding(std::optional<QString> id, QString market)
{
    return ServerHolding{std::move(id),
                         std::move(market),
                         QStringLiteral("Financials"),
                         QStringLiteral("Banks"),
                         QStringLiteral("0005"),
                         QStringLiteral("GBP"),
                         QStringLiteral("HSBC"),
                         60.5,
                         400,
                         65.25,
                         9.99,
                         QStringLiteral("kept by the service")};
}

AssetRow row(QString id, QString market)
{
    return AssetRow{std::move(id),
                    std::move(market),
                    QStringLiteral("Energy"),
                    QStringLiteral("Oil & Gas"),
                    QStringLiteral("XOM"),
                    QStringLiteral("IBKR"),
                    100,
                    3,
                    110};
}

} // namespace

class PortfolioSyncTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replyBecomesRows();
    void missingIDsAreFreshEveryTime();
    void rowsBecomeTheSaveBody();
    void emptyListsStayLists();
};

void PortfolioSyncTest::replyBecomesRows()
{
    const PortfolioResponse response{{storedHolding(QStringLiteral("H1"), QStringLiteral("HK")),
                                      storedHolding(QStringLiteral("H2"), QStringLiteral("US"))},
                                     {ServerCashBalance{QStringLiteral("C1"), QStringLiteral("Futu"), 5000,
                                                        QStringLiteral("HKD"), 0.1282, QStringLiteral("note")}}};
    const PortfolioData data = portfolioData(response);

    QCOMPARE(data.holdings.size(), 2);
    // The service's currency, rate and note for a holding play no part in the row.
    QCOMPARE(data.holdings[0],
             (AssetRow{QStringLiteral("H1"), QStringLiteral("HK"), QStringLiteral("Financials"),
                       QStringLiteral("Banks"), QStringLiteral("0005"), QStringLiteral("HSBC"), 60.5, 400, 65.25}));
    QCOMPARE(data.holdings[1].id, QStringLiteral("H2"));
    QCOMPARE(data.cashBalances, (QList<CashRow>{CashRow{QStringLiteral("C1"), QStringLiteral("Futu"), 5000,
                                                        QStringLiteral("HKD"), 0.1282}}));
}

void PortfolioSyncTest::missingIDsAreFreshEveryTime()
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"));
    const PortfolioResponse response{
        {storedHolding(std::nullopt, QStringLiteral("US"))},
        {ServerCashBalance{std::nullopt, QStringLiteral("IBKR"), 10, QStringLiteral("USD"), 1, QString()}}};
    const PortfolioData first = portfolioData(response);
    const PortfolioData second = portfolioData(response);
    QVERIFY(uuid.match(first.holdings[0].id).hasMatch());
    QVERIFY(uuid.match(first.cashBalances[0].id).hasMatch());
    QVERIFY(first.holdings[0].id != second.holdings[0].id);
    QVERIFY(first.cashBalances[0].id != second.cashBalances[0].id);
}

void PortfolioSyncTest::rowsBecomeTheSaveBody()
{
    const QList<AssetRow> rows{row(QStringLiteral("B"), QStringLiteral("JP")),
                               row(QStringLiteral("A"), QStringLiteral("GB")),
                               row(QStringLiteral("C"), QStringLiteral("EU"))};
    const QList<CashRow> cash{
        CashRow{QStringLiteral("loaded"), QStringLiteral("Futu"), 100, QStringLiteral("HKD"), 0.2},
        CashRow{QStringLiteral("local"), QStringLiteral("Tiger"), 100, QStringLiteral("GBP"), {}}};
    const PortfolioPutRequest request = portfolioPutRequest(rows, cash);

    QCOMPARE(request.snapshotSource, QStringLiteral("macos-app"));
    QCOMPARE(request.holdings.size(), 3);
    QCOMPARE(request.holdings[0].id, std::optional(QStringLiteral("B"))); // row order, ids always sent
    QCOMPARE(request.holdings[0].currency, QStringLiteral("JPY"));
    QCOMPARE(request.holdings[0].fxToUsd, 0.0064);
    QCOMPARE(request.holdings[1].currency, QStringLiteral("USD")); // GB has no currency of its own
    QCOMPARE(request.holdings[1].fxToUsd, 1.0);
    QCOMPARE(request.holdings[2].currency, QStringLiteral("EUR"));
    QCOMPARE(request.holdings[2].note, QString());
    QCOMPARE(request.holdings[2].averagePrice, 100.0);
    QCOMPARE(request.cashBalances[0].fxToUsd, 0.2);  // the service's rate goes back
    QCOMPARE(request.cashBalances[1].fxToUsd, 1.26); // a local row gets the built-in rate
    QCOMPARE(request.cashBalances[1].id, std::optional(QStringLiteral("local")));

    // A row loaded from the service goes back with the currency of its market, not the stored one.
    const PortfolioData loaded =
        portfolioData(PortfolioResponse{{storedHolding(QStringLiteral("X"), QStringLiteral("HK"))}, {}});
    const PortfolioPutRequest back = portfolioPutRequest(loaded.holdings, loaded.cashBalances);
    QCOMPARE(back.holdings[0].currency, QStringLiteral("HKD"));
    QCOMPARE(back.holdings[0].fxToUsd, 0.127618574);
}

void PortfolioSyncTest::emptyListsStayLists()
{
    const auto body = encodeJSON(portfolioPutRequest({}, {}));
    QVERIFY(body);
    const QJsonObject object = QJsonDocument::fromJson(*body).object();
    QVERIFY(object.value(QStringLiteral("holdings")).isArray());
    QVERIFY(object.value(QStringLiteral("holdings")).toArray().isEmpty());
    QVERIFY(object.value(QStringLiteral("cash_balances")).isArray());
    QCOMPARE(portfolioData(PortfolioResponse{}), PortfolioData{});
}

QTEST_APPLESS_MAIN(PortfolioSyncTest)
#include "tst_portfoliosync.moc"

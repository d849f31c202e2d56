#pragma once

// A signed-in workspace loaded from a scripted service with reference lists, holdings at two brokers and
// cash balances, for the page tests and their screenshots.

#include "tests/workspace/WorkspaceHarness.h"

#include <QImage>
#include <QWidget>

namespace quillfern::testing {

inline std::string seededCurrencies()
{
    return R"json([{"code":"USD","name":"US Dollar","symbol":"$","flag":"🇺🇸","fx_to_usd":1.0},
               {"code":"HKD","name":"Hong Kong Dollar","symbol":"HK$","flag":"🇭🇰","fx_to_usd":0.128},
               {"code":"EUR","name":"Euro","symbol":"€","flag":"🇪🇺","fx_to_usd":1.1},
               {"code":"JPY","name":"Japanese Yen","symbol":"¥","flag":"🇯🇵","fx_to_usd":0.0064}])json";
}

inline std::string seededLanguages()
{
    return R"json([{"code":"en-US","name":"English (United States)","native_name":"English (US)","locale":"en_US","flag":"🇺🇸"},
               {"code":"ko-KR","name":"Korean","native_name":"한국어","locale":"ko_KR","flag":"🇰🇷"}])json";
}

inline std::string seededBrokerages()
{
    return R"json([{"id":"b1","name":"Futu","region":"HK","is_custom":false},
               {"id":"b2","name":"IBKR","region":"US","is_custom":false}])json";
}

inline std::string seededGICS()
{
    return R"json([{"sector_code":"45","sector_name":"Information Technology","industry_group_code":"4530",
                "industry_group_name":"Semiconductors & Semiconductor Equipment","industry_code":"453010",
                "industry_name":"Semiconductors & Semiconductor Equipment","sub_industry_code":"45301020",
                "sub_industry_name":"Semiconductors","source_version":"2023"},
               {"sector_code":"45","sector_name":"Information Technology","industry_group_code":"4510",
                "industry_group_name":"Software & Services","industry_code":"451030","industry_name":"Software",
                "sub_industry_code":"45103010","sub_industry_name":"Application Software","source_version":"2023"},
               {"sector_code":"10","sector_name":"Energy","industry_group_code":"1010","industry_group_name":"Energy",
                "industry_code":"101020","industry_name":"Oil, Gas & Consumable Fuels","sub_industry_code":"10102050",
                "sub_industry_name":"Coal & Consumable Fuels","source_version":"2023"}])json";
}

inline QJsonObject cashJSON(const CashRow &row)
{
    return QJsonObject{{QStringLiteral("id"), row.id},
                       {QStringLiteral("broker"), row.broker},
                       {QStringLiteral("original_cash"), row.originalCash},
                       {QStringLiteral("currency"), row.currency},
                       {QStringLiteral("fx_to_usd"), row.serverFXToUSD.value_or(1.0)},
                       {QStringLiteral("note"), QString()}};
}

inline std::string seededPortfolio(const QList<AssetRow> &holdings, const QList<CashRow> &cash)
{
    QJsonArray h, c;
    for (const auto &row : holdings)
        h.append(holdingJSON(row));
    for (const auto &row : cash)
        c.append(cashJSON(row));
    return QJsonDocument(QJsonObject{{QStringLiteral("holdings"), h}, {QStringLiteral("cash_balances"), c}})
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

// Two brokers: Futu with a holding and cash in two currencies, IBKR with a holding and no cash, and
// Tiger with cash alone.
inline QList<AssetRow> seededHoldings()
{
    return {holding(QStringLiteral("H1"), QStringLiteral("AAPL"), 200, QStringLiteral("US"), QStringLiteral("Futu")),
            holding(QStringLiteral("H2"), QStringLiteral("NVDA"), 120, QStringLiteral("US"), QStringLiteral("IBKR"))};
}

inline QList<CashRow> seededCash()
{
    return {CashRow{QStringLiteral("C1"), QStringLiteral("Futu"), 2500, QStringLiteral("USD"), 1.0},
            CashRow{QStringLiteral("C2"), QStringLiteral("Futu"), 10000, QStringLiteral("HKD"), 0.128},
            CashRow{QStringLiteral("C3"), QStringLiteral("Tiger"), 150000, QStringLiteral("JPY"), 0.0064}};
}

inline void scriptSeededSession(ScriptedServer &server, const std::string &transactions = "[]")
{
    server.on("GET", "/v1/currencies", {200, seededCurrencies()});
    server.on("GET", "/v1/languages", {200, seededLanguages()});
    server.on("GET", "/v1/brokerages", {200, seededBrokerages()});
    server.on("GET", "/v1/gics-classifications", {200, seededGICS()});
    server.on("GET", "/v1/transactions", {200, transactions});
    server.on("GET", "/v1/portfolio", {200, seededPortfolio(seededHoldings(), seededCash())});
    server.on("PUT", "/v1/portfolio", {200, {}, "application/json", false, {}, true});
    server.on("POST", "/v1/auth/logout", {204, {}});
}

// Renders widget offscreen at size into a PNG beside the test binary; returns the image.
inline QImage screenshot(QWidget &widget, const QSize &size, const QString &name)
{
    widget.resize(size);
    widget.show();
    QCoreApplication::processEvents();
    const QImage image = widget.grab().toImage();
    image.save(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name + QStringLiteral(".png"));
    return image;
}

} // namespace quillfern::testing

// What the ledger adds up to: realised gains and income in US dollars for a year and for all time, rows
// without the service's figures, and the positions closed by the ledger.

#include "core/LedgerSummary.h"

#include <QTest>

using namespace quillfern;

namespace {

TransactionRecord row(const char *type, const char *tradedAt, std::optional<double> amount = std::nullopt,
                      std::optional<double> fx = std::nullopt, std::optional<double> gainUsd = std::nullopt)
{
    TransactionRecord r;
    r.id = QString::fromLatin1(type) + QString::fromLatin1(tradedAt);
    r.broker = QStringLiteral("Futu");
    r.market = QStringLiteral("US");
    r.code = QStringLiteral("AAPL");
    r.transactionType = QString::fromLatin1(type);
    r.currency = QStringLiteral("USD");
    r.tradedAt = QString::fromLatin1(tradedAt);
    r.amount = amount;
    r.fxToUsd = fx;
    r.realizedGainUsd = gainUsd;
    r.realizedGain = gainUsd;
    return r;
}

TransactionRecord sale(const char *broker, const char *code, const char *currency, double gain, double gainUsd)
{
    TransactionRecord r = row("SELL", "2025-03-01T10:00:00Z", std::nullopt, std::nullopt, gainUsd);
    r.broker = QString::fromLatin1(broker);
    r.code = QString::fromLatin1(code);
    r.currency = QString::fromLatin1(currency);
    r.realizedGain = gain;
    return r;
}

AssetRow held(const char *broker, const char *code, double quantity)
{
    AssetRow r;
    r.broker = QString::fromLatin1(broker);
    r.market = QStringLiteral("US");
    r.code = QString::fromLatin1(code);
    r.quantity = quantity;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<int>)

class LedgerSummaryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void earnings_data();
    void earnings();
    void closedPositions_data();
    void closedPositions();
};

void LedgerSummaryTest::earnings_data()
{
    QTest::addColumn<QList<TransactionRecord>>("records");
    QTest::addColumn<std::optional<int>>("year");
    QTest::addColumn<double>("gainUsd");
    QTest::addColumn<double>("incomeUsd");

    const QList<TransactionRecord> book{row("SELL", "2025-06-01T10:00:00Z", std::nullopt, 1.0, 120),
                                        row("SELL", "2024-06-01T10:00:00Z", std::nullopt, 1.0, -20),
                                        row("DIVIDEND", "2025-02-01T10:00:00Z", 100, 0.5),
                                        row("INTEREST", "2025-02-01T10:00:00Z", 10, 1.0),
                                        row("TAX", "2025-02-02T10:00:00Z", 15, 1.0),
                                        row("FEE", "2025-02-02T10:00:00Z", 7, 1.0),
                                        row("DEPOSIT", "2025-02-02T10:00:00Z", 1000, 1.0),
                                        row("DIVIDEND", "2024-12-31T23:30:00-05:00", 40, 1.0)};
    QTest::newRow("one year") << book << std::optional(2025) << 120.0 << (50.0 + 10 - 15 + 40);
    QTest::newRow("the year before") << book << std::optional(2024) << -20.0 << 0.0;
    QTest::newRow("all time") << book << std::optional<int>() << 100.0 << (50.0 + 10 - 15 + 40);
    QTest::newRow("a year with nothing") << book << std::optional(2019) << 0.0 << 0.0;
    // An older service sends neither rates nor gains: such rows add nothing, and nothing breaks.
    QTest::newRow("rows without the service's figures")
        << QList<TransactionRecord>{row("SELL", "2025-06-01T10:00:00Z"), row("DIVIDEND", "2025-02-01T10:00:00Z", 100),
                                    row("DIVIDEND", "2025-02-01T10:00:00Z", std::nullopt, 1.0),
                                    row("DIVIDEND", "not a date", 5, 1.0)}
        << std::optional<int>() << 0.0 << 5.0;
    QTest::newRow("a time that is no date counts in no year")
        << QList<TransactionRecord>{row("DIVIDEND", "not a date", 5, 1.0)} << std::optional(2025) << 0.0 << 0.0;
    QTest::newRow("gains of a buy are not counted")
        << QList<TransactionRecord>{row("BUY", "2025-06-01T10:00:00Z", std::nullopt, 1.0, 50)} << std::optional<int>()
        << 0.0 << 0.0;
}

void LedgerSummaryTest::earnings()
{
    QFETCH(QList<TransactionRecord>, records);
    QFETCH(std::optional<int>, year);
    const LedgerEarnings earnings = ledgerEarnings(records, year);
    QTEST(earnings.realizedGainUsd, "gainUsd");
    QTEST(earnings.incomeUsd, "incomeUsd");
}

void LedgerSummaryTest::closedPositions_data()
{
    QTest::addColumn<QList<TransactionRecord>>("records");
    QTest::addColumn<QList<AssetRow>>("holdings");
    QTest::addColumn<QList<ClosedPositionSummary>>("expected");

    TransactionRecord transferOut = sale("IBKR", "MSFT", "USD", 0, 0);
    transferOut.transactionType = QStringLiteral("TRANSFER_OUT");
    transferOut.currency.clear();
    transferOut.realizedGain.reset();
    transferOut.realizedGainUsd.reset();
    const auto closed = [](const char *broker, const char *code, const char *currency, double gain, double usd) {
        return ClosedPositionSummary{QString::fromLatin1(broker),
                                     QStringLiteral("US"),
                                     QString::fromLatin1(code),
                                     QString::fromLatin1(currency),
                                     gain,
                                     usd};
    };

    QTest::newRow("sold out, sells summed")
        << QList<TransactionRecord>{sale("Futu", "AAPL", "USD", 10, 10), sale("Futu", "AAPL", "USD", 5, 5)}
        << QList<AssetRow>{} << QList<ClosedPositionSummary>{closed("Futu", "AAPL", "USD", 15, 15)};
    QTest::newRow("still held is not closed")
        << QList<TransactionRecord>{sale("Futu", "AAPL", "USD", 10, 10)} << QList<AssetRow>{held("Futu", "AAPL", 3)}
        << QList<ClosedPositionSummary>{};
    QTest::newRow("held at another broker is closed here")
        << QList<TransactionRecord>{sale("Futu", "AAPL", "USD", 10, 10)} << QList<AssetRow>{held("IBKR", "AAPL", 3)}
        << QList<ClosedPositionSummary>{closed("Futu", "AAPL", "USD", 10, 10)};
    QTest::newRow("a row of nothing left is closed")
        << QList<TransactionRecord>{sale("Futu", "AAPL", "USD", 10, 10)} << QList<AssetRow>{held("Futu", "AAPL", 0)}
        << QList<ClosedPositionSummary>{closed("Futu", "AAPL", "USD", 10, 10)};
    QTest::newRow("transferred out, with no gain and no currency")
        << QList<TransactionRecord>{transferOut} << QList<AssetRow>{}
        << QList<ClosedPositionSummary>{closed("IBKR", "MSFT", "", 0, 0)};
    QTest::newRow("a transfer then a sell takes the sell's currency")
        << QList<TransactionRecord>{transferOut, sale("IBKR", "MSFT", "USD", 4, 4)} << QList<AssetRow>{}
        << QList<ClosedPositionSummary>{closed("IBKR", "MSFT", "USD", 4, 4)};
    QTest::newRow("sells in two currencies keep only the dollars")
        << QList<TransactionRecord>{sale("Futu", "AAPL", "USD", 10, 10), sale("Futu", "AAPL", "HKD", 78, 10)}
        << QList<AssetRow>{} << QList<ClosedPositionSummary>{closed("Futu", "AAPL", "", 88, 20)};
    QTest::newRow("sells without gains") << QList<TransactionRecord>{row("SELL", "2025-01-01T00:00:00Z")}
                                         << QList<AssetRow>{}
                                         << QList<ClosedPositionSummary>{closed("Futu", "AAPL", "USD", 0, 0)};
    QTest::newRow("buys and dividends close nothing")
        << QList<TransactionRecord>{row("BUY", "2025-01-01T00:00:00Z"), row("DIVIDEND", "2025-01-01T00:00:00Z", 3, 1)}
        << QList<AssetRow>{} << QList<ClosedPositionSummary>{};
}

void LedgerSummaryTest::closedPositions()
{
    QFETCH(QList<TransactionRecord>, records);
    QFETCH(QList<AssetRow>, holdings);
    QTEST(quillfern::closedPositions(records, holdings), "expected");
}

QTEST_APPLESS_MAIN(LedgerSummaryTest)
#include "tst_ledgersummary.moc"

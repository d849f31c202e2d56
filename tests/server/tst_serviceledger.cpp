// The ledger as the service keeps it: every type's effect on holdings and cash, refusals that change nothing,
// and corrections that leave the account as if the corrected ledger had been entered in the first place.

#include "ServiceFixture.h"

#include "api/WireCoding.h"
#include "core/CurrencyCatalog.h"

#include <QCoro/QCoroTask>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <map>

using namespace quillfern;
using namespace quillfern::servicetest;
using namespace Qt::Literals::StringLiterals;

namespace {

using Figures = std::map<QString, std::pair<double, double>>; // "broker code" or "broker currency" -> figures

// "IBKR AAPL 10 100.5; Futu AAPL 4 100" or "IBKR USD -1005".
Figures figures(const QString &text)
{
    Figures out;
    for (const QString &row : text.split(u';', Qt::SkipEmptyParts)) {
        const QStringList t = row.split(u' ', Qt::SkipEmptyParts);
        out[t[0] + u' ' + t[1]] = {t[2].toDouble(), t.value(3, QStringLiteral("0")).toDouble()};
    }
    return out;
}

bool close(double a, double b)
{
    return a == b || std::abs(a - b) <= 1e-9 * std::max(std::abs(a), std::abs(b));
}

bool sameFigures(const Figures &a, const Figures &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto &x, const auto &y) {
               return x.first == y.first && close(x.second.first, y.second.first) &&
                      close(x.second.second, y.second.second);
           });
}

QString describe(const Figures &f)
{
    QStringList rows;
    for (const auto &[key, value] : f)
        rows << QStringLiteral("%1 %2 %3").arg(key).arg(value.first, 0, 'g', 15).arg(value.second, 0, 'g', 15);
    return rows.join(QStringLiteral("; "));
}

} // namespace

class ServiceLedgerTest : public ServiceFixture {
    Q_OBJECT

private:
    struct Account {
        Figures holdings, cash;
        QList<TransactionRecord> ledger; // newest first
    };

    Account account(const QString &token)
    {
        Account out;
        const auto stored = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), token));
        const auto ledger = QCoro::waitFor(PortfolioAPI::fetchTransactions(endpoint(), token));
        if (!stored || !ledger)
            return out;
        for (const AssetRow &row : stored->holdings)
            out.holdings[row.broker + u' ' + row.code] = {row.quantity, row.averagePrice};
        for (const CashRow &row : stored->cashBalances)
            out.cash[row.broker + u' ' + row.currency] = {row.originalCash, 0};
        out.ledger = *ledger;
        return out;
    }

    Raw post(const QString &token, const TransactionCreateInput &input)
    {
        return raw(m_service->baseURL(), "POST", "/v1/transactions", token, encodeJSON(input)->toStdString());
    }

    Raw put(const QString &token, const QString &id, const TransactionCreateInput &input)
    {
        return raw(m_service->baseURL(), "PUT", "/v1/transactions/" + id.toStdString(), token,
                   encodeJSON(input)->toStdString());
    }

    Raw remove(const QString &token, const QString &id)
    {
        return raw(m_service->baseURL(), "DELETE", "/v1/transactions/" + id.toStdString(), token);
    }

    // Posts each step a day after the last; the ids in the order posted.
    QStringList book(const QString &token, const QStringList &steps)
    {
        QStringList ids;
        for (int i = 0; i < steps.size(); ++i) {
            const Raw answer = post(token, step(steps[i], i));
            if (answer.status != 201)
                return ids << QString::fromStdString(answer.body);
            ids << decodeJSON<TransactionRecord>(QByteArray::fromStdString(answer.body))->id;
        }
        return ids;
    }

private Q_SLOTS:
    void typesMoveHoldingsAndCash_data();
    void typesMoveHoldingsAndCash();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void correctionsMatchAFreshLedger_data();
    void correctionsMatchAFreshLedger();
    void typedRowsAreOpenings();
    void anotherUsersTransactionIsNotFound();
};

void ServiceLedgerTest::typesMoveHoldingsAndCash_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("holdings");
    QTest::addColumn<QString>("cash");
    QTest::addColumn<QString>("gains"); // each SELL's realised gain, oldest first

    QTest::newRow("buy takes cash") << QStringList{u"BUY IBKR US AAPL 10 100 5"_s} << u"IBKR AAPL 10 100.5"_s
                                    << u"IBKR USD -1005"_s << u""_s;
    QTest::newRow("buy kept apart from cash") << QStringList{u"BUY IBKR US AAPL 10 100 5 nocash"_s}
                                              << u"IBKR AAPL 10 100.5"_s << u""_s << u""_s;
    QTest::newRow("sell closes the position")
        << QStringList{u"DEPOSIT IBKR USD 2000"_s, u"BUY IBKR US AAPL 10 100"_s, u"SELL IBKR US AAPL 10 120 1"_s} << u""_s
        << u"IBKR USD 2199"_s << u"199"_s;
    QTest::newRow("partial sell keeps the average")
        << QStringList{u"BUY IBKR US AAPL 10 100 10"_s, u"SELL IBKR US AAPL 4 90 2"_s} << u"IBKR AAPL 6 101"_s
        << u"IBKR USD -652"_s << u"-46"_s;
    QTest::newRow("dividend net of its tax")
        << QStringList{u"DEPOSIT IBKR USD 1000"_s, u"DIVIDEND IBKR USD 50"_s, u"TAX IBKR USD 7.5"_s} << u""_s
        << u"IBKR USD 1042.5"_s << u""_s;
    QTest::newRow("fee, interest and withdrawal")
        << QStringList{u"DEPOSIT Futu HKD 1000"_s, u"FEE Futu HKD 10"_s, u"INTEREST Futu HKD 2"_s, u"WITHDRAWAL Futu HKD 300"_s}
        << u""_s << u"Futu HKD 692"_s << u""_s;
    QTest::newRow("split at every broker")
        << QStringList{u"BUY IBKR US AAPL 10 400 nocash"_s, u"BUY Futu US AAPL 5 400 nocash"_s, u"SPLIT US AAPL 4"_s}
        << u"IBKR AAPL 40 100; Futu AAPL 20 100"_s << u""_s << u""_s;
    QTest::newRow("transfer at cost")
        << QStringList{u"BUY IBKR US AAPL 10 100 nocash"_s, u"TRANSFER_OUT IBKR US AAPL 4"_s, u"TRANSFER_IN Futu US AAPL 4 100"_s}
        << u"IBKR AAPL 6 100; Futu AAPL 4 100"_s << u""_s << u""_s;
    QTest::newRow("sale dated before a later purchase")
        << QStringList{u"BUY IBKR US AAPL 10 100 nocash"_s, u"BUY IBKR US AAPL 10 200 nocash"_s,
                       u"@2026-01-01 SELL IBKR US AAPL 5 150 nocash"_s}
        << u"IBKR AAPL 15 166.666666666666667"_s << u""_s << u"250"_s;
}

void ServiceLedgerTest::typesMoveHoldingsAndCash()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, holdings);
    QFETCH(QString, cash);
    QFETCH(QString, gains);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const QStringList ids = book(token, steps);
    QCOMPARE(ids.size(), steps.size());
    const Account after = account(token);
    QVERIFY2(sameFigures(after.holdings, figures(holdings)), qPrintable(describe(after.holdings)));
    QVERIFY2(sameFigures(after.cash, figures(cash)), qPrintable(describe(after.cash)));

    QStringList realised;
    for (auto row = after.ledger.crbegin(); row != after.ledger.crend(); ++row) {
        if (row->transactionType != QLatin1String("SELL"))
            continue;
        QVERIFY(row->realizedGain && row->realizedGainUsd && row->fxToUsd);
        QVERIFY(close(*row->realizedGainUsd, *row->realizedGain * *row->fxToUsd));
        realised << QString::number(*row->realizedGain, 'g', 12);
    }
    QCOMPARE(realised.join(u' '), gains);
}

void ServiceLedgerTest::refusalsChangeNothing_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("change"); // a new step, "PUT <n> <step>" or "DELETE <n>" of the n-th step
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("mentions");

    const QStringList bought{u"BUY IBKR US AAPL 10 100"_s, u"SELL IBKR US AAPL 8 120"_s};
    QTest::newRow("sell beyond the holding") << bought << u"SELL IBKR US AAPL 3 120"_s << u"quantity"_s << u"more than"_s;
    QTest::newRow("transfer beyond the holding")
        << bought << u"TRANSFER_OUT IBKR US AAPL 2.5"_s << u"quantity"_s << u"more than"_s;
    QTest::newRow("split of a code not held") << bought << u"SPLIT US MSFT 4"_s << u"code"_s << u"nothing to split"_s;
    QTest::newRow("ratio of zero") << bought << u"SPLIT US AAPL 0"_s << u"split_ratio"_s << u"greater than 0"_s;
    QTest::newRow("negative amount") << bought << u"DEPOSIT IBKR USD -5"_s << u"amount"_s << u"negative"_s;
    QTest::newRow("date beyond tomorrow") << bought << u"@2099-06-01 DEPOSIT IBKR USD 5"_s << u"traded_at"_s << u"future"_s;
    QTest::newRow("new code without a sector") << bought << u"BUY IBKR US MSFT 1 300 nosector"_s << u"sector"_s << u"MSFT"_s;
    QTest::newRow("unknown type") << bought << u"BONUS IBKR USD 5"_s << u"transaction_type"_s << u"one of"_s;
    QTest::newRow("edit under a later sale")
        << bought << u"PUT 0 BUY IBKR US AAPL 5 100"_s << u"quantity"_s << u"later transaction"_s;
    QTest::newRow("delete under a later sale") << bought << u"DELETE 0"_s << u"code"_s << u"later transaction"_s;
    QTest::newRow("edit to an unknown id") << bought << u"PUT 9 DEPOSIT IBKR USD 5"_s << u""_s << u"no such"_s;
}

void ServiceLedgerTest::refusalsChangeNothing()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, change);
    QFETCH(QString, field);
    QFETCH(QString, mentions);
    const QString token = signIn(QStringLiteral("ann@example.com"));
    const QStringList ids = book(token, steps);
    QCOMPARE(ids.size(), steps.size());
    const Account before = account(token);

    QStringList words = change.split(u' ');
    Raw answer;
    if (words.first() == QLatin1String("PUT") || words.first() == QLatin1String("DELETE")) {
        const int n = words[1].toInt();
        const QString id = ids.value(n, QStringLiteral("00000000-0000-4000-8000-000000000000"));
        answer = words.first() == QLatin1String("PUT") ? put(token, id, step(words.mid(2).join(u' '), n))
                                                       : remove(token, id);
    } else {
        answer = post(token, step(change, int(steps.size())));
    }
    QCOMPARE(answer.status, field.isEmpty() ? 404 : 400);
    QVERIFY2(errorText(answer).contains(mentions), answer.body.c_str());
    const auto error = decodeJSON<ServerError>(QByteArray::fromStdString(answer.body));
    QCOMPARE(error->field.value_or(QString()), field);

    const Account after = account(token);
    QVERIFY(sameFigures(after.holdings, before.holdings));
    QVERIFY(sameFigures(after.cash, before.cash));
    QCOMPARE(after.ledger, before.ledger);
}

void ServiceLedgerTest::correctionsMatchAFreshLedger_data()
{
    QTest::addColumn<quint32>("seed");
    for (const quint32 seed : {7u, 1234u, 99991u})
        QTest::addRow("seed %u", seed) << seed;
}

// Random ledgers, then random corrections and removals, some of which the ledger refuses; whatever stands in
// the end, entered afresh into a new account, gives the same holdings, cash and realised gains.
void ServiceLedgerTest::correctionsMatchAFreshLedger()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QStringList brokers{u"IBKR"_s, u"Futu"_s}, codes{u"AAPL"_s, u"MSFT"_s, u"NVDA"_s};
    std::map<QString, double> held;
    const auto pick = [&](const QStringList &from) { return from[int(random.bounded(from.size()))]; };
    const auto price = [&] { return QString::number(1 + random.bounded(50000) / 100.0); };
    // Valid when written against the ledger so far; a correction may not be, and is then refused.
    const auto anyStep = [&]() -> QString {
        const QString broker = pick(brokers), code = pick(codes), key = broker + u' ' + code;
        switch (random.bounded(8)) {
        case 0:
            return QStringLiteral("DEPOSIT %1 USD %2").arg(broker, price());
        case 1:
            return QStringLiteral("DIVIDEND %1 USD %2").arg(broker, price());
        case 2:
            return QStringLiteral("FEE %1 USD %2").arg(broker, price());
        case 3:
            if (held[key] > 1) {
                const int quantity = 1 + int(random.bounded(int(held[key])));
                held[key] -= quantity;
                return QStringLiteral("SELL %1 US %2 %3 %4 1").arg(broker, code).arg(quantity).arg(price());
            }
            [[fallthrough]];
        case 4:
            if (held[key] > 0 && random.bounded(2)) {
                for (const QString &b : brokers)
                    held[b + u' ' + code] *= 2;
                return QStringLiteral("SPLIT US %1 2").arg(code);
            }
            [[fallthrough]];
        default: {
            const int quantity = 1 + int(random.bounded(100));
            held[key] += quantity;
            return QStringLiteral("BUY %1 US %2 %3 %4 %5").arg(broker, code).arg(quantity).arg(price()).arg(random.bounded(5));
        }
        }
    };

    const QString token = signIn(QStringLiteral("ann@example.com"));
    const int size = 1 + int(random.bounded(200));
    QStringList steps;
    for (int i = 0; i < size; ++i)
        steps << anyStep();
    QStringList ids = book(token, steps);
    QCOMPARE(ids.size(), size);
    int applied = 0;
    for (int round = 0; round < 12; ++round) {
        const int n = int(random.bounded(ids.size()));
        if (ids[n].isEmpty())
            continue;
        const Raw answer = random.bounded(3) == 0 ? remove(token, ids[n]) : put(token, ids[n], step(anyStep(), n));
        QVERIFY2(answer.status == 200 || answer.status == 204 || answer.status == 400, answer.body.c_str());
        if (answer.status == 204)
            ids[n].clear();
        applied += answer.status != 400;
    }
    QVERIFY(applied > 0);
    const Account corrected = account(token);

    const QString fresh = signIn(QStringLiteral("bob@example.com"));
    for (auto row = corrected.ledger.crbegin(); row != corrected.ledger.crend(); ++row) {
        TransactionCreateInput again{row->broker,  row->market,   row->code,       row->transactionType, row->quantity,
                                     row->price,   row->commission, row->currency, row->sector,          row->subSector,
                                     row->tradedAt, row->reason,  row->amount,     row->splitRatio,      row->settlesInCash};
        QCOMPARE(post(fresh, again).status, 201);
    }
    const Account entered = account(fresh);
    QVERIFY2(sameFigures(entered.holdings, corrected.holdings),
             qPrintable(describe(entered.holdings) + u'\n' + describe(corrected.holdings)));
    QVERIFY2(sameFigures(entered.cash, corrected.cash), qPrintable(describe(entered.cash) + u'\n' + describe(corrected.cash)));
    QCOMPARE(entered.ledger.size(), corrected.ledger.size());
    for (qsizetype i = 0; i < entered.ledger.size(); ++i) {
        const auto gain = entered.ledger[i].realizedGain, was = corrected.ledger[i].realizedGain;
        QVERIFY2(gain.has_value() == was.has_value() && (!gain || close(*gain, *was)),
                 qPrintable(entered.ledger[i].transactionType + u' ' + entered.ledger[i].tradedAt));
    }
}

// A row typed by hand already counts what was entered before it; only what is entered later moves it.
void ServiceLedgerTest::typedRowsAreOpenings()
{
    const QString token = signIn(QStringLiteral("ann@example.com"));
    QList<AssetRow> rows{AssetRow{QStringLiteral("H1"), QStringLiteral("US"), QStringLiteral("Information Technology"),
                                  QStringLiteral("Technology Hardware, Storage & Peripherals"), QStringLiteral("AAPL"),
                                  QStringLiteral("IBKR"), 100, 10, 100}};
    const QList<CashRow> cash{CashRow{QStringLiteral("C1"), QStringLiteral("IBKR"), 5000, QStringLiteral("USD"), {}}};
    QVERIFY(QCoro::waitFor(PortfolioAPI::savePortfolio(endpoint(), token, rows, cash)));
    const QStringList ids = book(token, {u"BUY IBKR US AAPL 5 130 1"_s});
    Account now = account(token);
    QVERIFY(sameFigures(now.holdings, figures(QStringLiteral("IBKR AAPL 15 110.066666666666667"))));
    QVERIFY(sameFigures(now.cash, figures(QStringLiteral("IBKR USD 4349"))));

    // Correcting the purchase moves what it reached, after the app saved back the rows it was given.
    const auto given = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), token));
    QVERIFY(QCoro::waitFor(PortfolioAPI::savePortfolio(endpoint(), token, given->holdings, given->cashBalances)));
    QCOMPARE(put(token, ids[0], step(QStringLiteral("BUY IBKR US AAPL 6 130 1"), 0)).status, 200);
    now = account(token);
    QVERIFY(sameFigures(now.holdings, figures(QStringLiteral("IBKR AAPL 16 111.3125"))));
    QVERIFY(sameFigures(now.cash, figures(QStringLiteral("IBKR USD 4219"))));

    // Typed again, the position counts the purchase: correcting it now leaves the typed row as it is.
    const auto stored = QCoro::waitFor(PortfolioAPI::fetchPortfolio(endpoint(), token));
    rows = stored->holdings;
    rows[0].quantity = 20;
    QVERIFY(QCoro::waitFor(PortfolioAPI::savePortfolio(endpoint(), token, rows, stored->cashBalances)));
    QCOMPARE(put(token, ids[0], step(QStringLiteral("BUY IBKR US AAPL 1 130 1"), 0)).status, 200);
    now = account(token);
    QVERIFY2(sameFigures(now.holdings, figures(QStringLiteral("IBKR AAPL 20 111.3125"))), qPrintable(describe(now.holdings)));
    QVERIFY(sameFigures(now.cash, figures(QStringLiteral("IBKR USD 4869"))));

    // A row removed by hand stays removed when an older transaction changes.
    QVERIFY(QCoro::waitFor(PortfolioAPI::savePortfolio(endpoint(), token, {}, stored->cashBalances)));
    QCOMPARE(put(token, ids[0], step(QStringLiteral("BUY IBKR US AAPL 2 130 1"), 0)).status, 200);
    QVERIFY(account(token).holdings.empty());
}

void ServiceLedgerTest::anotherUsersTransactionIsNotFound()
{
    const QString ann = signIn(QStringLiteral("ann@example.com"));
    const QStringList ids = book(ann, {u"BUY IBKR US AAPL 10 100"_s});
    const Account before = account(ann);
    const QString bob = signIn(QStringLiteral("bob@example.com"));
    QCOMPARE(put(bob, ids[0], step(QStringLiteral("BUY IBKR US AAPL 1 1"), 0)).status, 404);
    QCOMPARE(remove(bob, ids[0]).status, 404);
    QCOMPARE(remove(QString(), ids[0]).status, 401);
    const Account after = account(ann);
    QCOMPARE(after.ledger, before.ledger);
    QVERIFY(sameFigures(after.holdings, before.holdings));
    QVERIFY(account(bob).ledger.isEmpty());
}

QTEST_GUILESS_MAIN(ServiceLedgerTest)
#include "tst_serviceledger.moc"

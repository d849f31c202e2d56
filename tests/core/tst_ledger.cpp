#include "core/ledger/Ledger.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <tuple>

using namespace quillfern;
using namespace Qt::StringLiterals;

using Rows = std::vector<LedgerTransaction>;
Q_DECLARE_METATYPE(Rows)

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t k2024 = 1704067200; // 2024-01-01T00:00:00Z
constexpr std::int64_t kNow = k2024 + 400 * kDay;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const LedgerOpening kOpening{{{"IBKR", "US", "AAPL", "USD", 10, 100},
                              {"Tiger", "US", "AAPL", "USD", 5, 120},
                              {"Futu", "HK", "0700", "HKD", 100, 300}},
                             {{"IBKR", "USD", 1000}}};

// A row for a code: 0700 trades in Hong Kong dollars at 0.128, anything else in US dollars.
LedgerTransaction row(std::string type, std::string broker = "IBKR", std::string code = "AAPL")
{
    const bool hk = code == "0700";
    LedgerTransaction t;
    std::tie(t.type, t.broker, t.code) = std::tuple(std::move(type), std::move(broker), std::move(code));
    std::tie(t.market, t.currency, t.fxToUsd) = std::tuple(hk ? "HK" : "US", hk ? "HKD" : "USD", hk ? 0.128 : 1.0);
    return t;
}

LedgerTransaction trade(std::string type, double quantity, double price, double commission = 0,
                        std::string broker = "IBKR", std::string code = "AAPL")
{
    LedgerTransaction t = row(std::move(type), std::move(broker), std::move(code));
    std::tie(t.quantity, t.price, t.commission) = std::tuple(quantity, price, commission);
    return t;
}

LedgerTransaction cash(std::string type, double amount, std::string broker = "IBKR", std::string code = "AAPL")
{
    LedgerTransaction t = row(std::move(type), std::move(broker), std::move(code));
    t.amount = amount;
    return t;
}

LedgerTransaction split(double ratio, std::string code = "AAPL")
{
    LedgerTransaction t = row("SPLIT", {}, std::move(code));
    t.splitRatio = ratio;
    return t;
}

LedgerTransaction at(LedgerTransaction t, std::int64_t tradedAt)
{
    t.tradedAt = tradedAt;
    return t;
}

// Ids "t0", "t1", ... and one day apart from 2024-01-01 unless a row is dated already.
Rows ledger(Rows rows)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].id = "t" + std::to_string(i);
        if (rows[i].tradedAt == 0)
            rows[i].tradedAt = k2024 + std::int64_t(i) * kDay;
    }
    return rows;
}

LedgerPosition held(const LedgerReport &report, const std::string &broker, const std::string &code)
{
    const auto found = std::find_if(report.positions.begin(), report.positions.end(),
                                    [&](auto &p) { return p.broker == broker && p.code == code; });
    return found == report.positions.end() ? LedgerPosition{} : *found;
}

double cashOf(const LedgerReport &report, const std::string &broker, const std::string &currency)
{
    const auto found = std::find_if(report.cash.begin(), report.cash.end(),
                                    [&](auto &c) { return c.broker == broker && c.currency == currency; });
    return found == report.cash.end() ? 0.0 : found->amount;
}

bool near(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max({1.0, std::abs(a), std::abs(b)});
}

QByteArray name(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

class LedgerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void effects_data();
    void effects();
    void refusals_data();
    void refusals();
    void closingsRealisationsAndYears();
    void openingRowsMergeOrAreRefused();
    void appendRefusesBackdatedRowsAndChangesNothing();
    void randomEditsReplayLikeAFreshLedger();
};

void LedgerTest::effects_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<double>("ibkrQuantity");
    QTest::addColumn<double>("ibkrAverage");
    QTest::addColumn<double>("tigerQuantity");
    QTest::addColumn<double>("tigerAverage");
    QTest::addColumn<double>("ibkrUsd");
    QTest::addColumn<double>("realisedUsd");
    QTest::addColumn<double>("incomeUsd");

    QTest::newRow("buy puts its commission into the cost")
        << Rows{trade("BUY", 10, 110, 10)} << 20.0 << 105.5 << 5.0 << 120.0 << -110.0 << 0.0 << 0.0;
    QTest::newRow("sell realises against the average")
        << Rows{trade("SELL", 4, 130, 2)} << 6.0 << 100.0 << 5.0 << 120.0 << 1518.0 << 118.0 << 0.0;
    Rows unsettled{trade("SELL", 4, 130, 2)};
    unsettled[0].settlesInCash = false;
    QTest::newRow("unsettled sell leaves cash") << unsettled << 6.0 << 100.0 << 5.0 << 120.0 << 1000.0 << 118.0 << 0.0;
    QTest::newRow("dividend and interest less tax, a day ahead")
        << Rows{cash("DIVIDEND", 50), cash("INTEREST", 5), at(cash("TAX", 7.5), kNow + kDay)} << 10.0 << 100.0 << 5.0
        << 120.0 << 1047.5 << 0.0 << 47.5;
    QTest::newRow("fee, deposit and withdrawal move cash only")
        << Rows{cash("FEE", 3), cash("DEPOSIT", 200), cash("WITHDRAWAL", 50)} << 10.0 << 100.0 << 5.0 << 120.0 << 1147.0
        << 0.0 << 0.0;
    QTest::newRow("split at every broker") << Rows{split(4)} << 40.0 << 25.0 << 20.0 << 30.0 << 1000.0 << 0.0 << 0.0;
    QTest::newRow("transfer moves shares at cost")
        << Rows{trade("TRANSFER_OUT", 4, 0), trade("TRANSFER_IN", 4, 100, 0, "Tiger")} << 6.0 << 100.0 << 9.0
        << 1000.0 / 9 << 1000.0 << 0.0 << 0.0;
    QTest::newRow("unknown types change nothing")
        << Rows{trade("buy", 5, 1), trade("MERGER", 5, 1)} << 10.0 << 100.0 << 5.0 << 120.0 << 1000.0 << 0.0 << 0.0;
    QTest::newRow("time order, not list order")
        << Rows{at(trade("SELL", 15, 100), k2024 + kDay), at(trade("BUY", 5, 80), k2024)} << 0.0 << 0.0 << 5.0 << 120.0
        << 2100.0 << 100.0 << 0.0;
    QTest::newRow("other currencies count in dollars at the day's rate")
        << Rows{trade("SELL", 100, 350, 0, "Futu", "0700"), cash("DIVIDEND", 1000, "Futu", "0700")} << 10.0 << 100.0
        << 5.0 << 120.0 << 1000.0 << 640.0 << 128.0;
}

void LedgerTest::effects()
{
    QFETCH(Rows, rows);
    const LedgerReplay replay = replayLedger(kOpening, ledger(rows), kNow);
    QVERIFY(!replay.refusal);
    const LedgerReport report = replay.state.report();
    QTEST(held(report, "IBKR", "AAPL").quantity, "ibkrQuantity");
    QTEST(held(report, "IBKR", "AAPL").averagePrice, "ibkrAverage");
    QTEST(held(report, "Tiger", "AAPL").quantity, "tigerQuantity");
    QTEST(held(report, "Tiger", "AAPL").averagePrice, "tigerAverage");
    QTEST(cashOf(report, "IBKR", "USD"), "ibkrUsd");
    QTEST(report.allTime.realisedGainUsd, "realisedUsd");
    QTEST(report.allTime.incomeUsd, "incomeUsd");
}

void LedgerTest::refusals_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("refusal"); // field and reason code

    const auto priced = trade("BUY", 1, 1);
    const auto with = [](LedgerTransaction t, auto member, auto value) {
        t.*member = value;
        return t;
    };
    QTest::newRow("sell beyond the holding") << Rows{trade("SELL", 10.5, 1)} << 0 << "quantity beyond_held"_ba;
    QTest::newRow("sell where none is held") << Rows{trade("SELL", 1, 1, 0, "IBKR", "0700")} << 0 << "code not_held"_ba;
    QTest::newRow("a tie keeps list order")
        << Rows{at(trade("SELL", 15, 1), k2024), at(trade("BUY", 5, 1), k2024)} << 0 << "quantity beyond_held"_ba;
    QTest::newRow("transfer out beyond the holding")
        << Rows{trade("TRANSFER_OUT", 6, 0, 0, "Tiger")} << 0 << "quantity beyond_held"_ba;
    QTest::newRow("split of a code nobody holds") << Rows{split(2, "MSFT")} << 0 << "code not_held"_ba;
    QTest::newRow("split ratio 0") << Rows{split(0)} << 0 << "split_ratio not_positive"_ba;
    QTest::newRow("split ratio NaN") << Rows{split(kNaN)} << 0 << "split_ratio not_finite"_ba;
    QTest::newRow("negative amount") << Rows{cash("DIVIDEND", -5)} << 0 << "amount negative"_ba;
    QTest::newRow("infinite price") << Rows{trade("BUY", 1, kInf)} << 0 << "price not_finite"_ba;
    QTest::newRow("NaN quantity") << Rows{trade("SELL", kNaN, 1)} << 0 << "quantity not_finite"_ba;
    QTest::newRow("buy of nothing") << Rows{trade("BUY", 0, 1)} << 0 << "quantity not_positive"_ba;
    QTest::newRow("NaN rate") << Rows{with(priced, &LedgerTransaction::fxToUsd, kNaN)} << 0
                              << "fx_to_usd not_finite"_ba;
    QTest::newRow("more than a day ahead") << Rows{at(priced, kNow + kDay + 1)} << 0 << "traded_at in_future"_ba;
    QTest::newRow("other currency than the position")
        << Rows{with(priced, &LedgerTransaction::currency, std::string("EUR"))} << 0 << "currency currency_mismatch"_ba;
    QTest::newRow("no broker") << Rows{with(priced, &LedgerTransaction::broker, std::string())} << 0
                               << "broker missing"_ba;
    QTest::newRow("figures beyond a double") << Rows{trade("BUY", 1e200, 1e200)} << 0 << "quantity out_of_range"_ba;
    QTest::newRow("earliest refused row, not first listed")
        << Rows{at(cash("FEE", -1), k2024 + 5 * kDay), trade("SELL", 1, 1), at(trade("BUY", 1, -1), k2024 + kDay)} << 2
        << "price negative"_ba;
}

void LedgerTest::refusals()
{
    QFETCH(Rows, rows);
    QFETCH(int, index);
    rows = ledger(rows);
    const LedgerReplay replay = replayLedger(kOpening, rows, kNow);
    QVERIFY(replay.refusal);
    QCOMPARE(replay.refusal->subject, RefusalSubject::Transaction);
    QCOMPARE(replay.refusal->index, std::size_t(index));
    QCOMPARE(replay.refusal->id, rows[index].id);
    QTEST(name(fieldName(replay.refusal->field)) + ' ' + name(reasonCode(replay.refusal->reason)), "refusal");
}

void LedgerTest::closingsRealisationsAndYears()
{
    // 0.1 + 0.2 leaves a residue after selling 0.3: the position still closes.
    const Rows rows =
        ledger({trade("BUY", 0.1, 10, 1, "IBKR", "MSFT"), trade("BUY", 0.2, 20, 0, "IBKR", "MSFT"), cash("DIVIDEND", 4),
                at(trade("SELL", 0.3, 30, 1, "IBKR", "MSFT"), k2024 + 380 * kDay),
                at(trade("SELL", 100, 310, 0, "Futu", "0700"), k2024 + 390 * kDay), trade("SPLIT_OFF", 1, 1)});
    const LedgerReplay replay = replayLedger(kOpening, rows, kNow);
    QVERIFY(!replay.refusal);
    const LedgerReport report = replay.state.report();
    QCOMPARE(report.positions.size(), std::size_t(2));
    QCOMPARE(report.closedPositions.size(), std::size_t(2));
    const ClosedPosition &msft = report.closedPositions[0];
    QCOMPARE(msft.code, "MSFT");
    QCOMPARE(msft.closedBy, "t3");
    QVERIFY(near(msft.realisedGain, 0.3 * 30 - 6 - 1));
    QCOMPARE(report.closedPositions[1].realisedGainUsd, 1000 * 0.128);
    QCOMPARE(report.realisations.size(), std::size_t(2));
    QCOMPARE(report.realisations[1].index, std::size_t(4));
    QCOMPARE(report.years.size(), std::size_t(2));
    QCOMPARE(report.years[0].year, 2024);
    QCOMPARE(report.years[0].totals.incomeUsd, 4.0);
    QCOMPARE(report.years[1].year, 2025);
    QVERIFY(near(report.years[1].totals.realisedGainUsd, 130));
    QVERIFY(near(report.allTime.realisedGainUsd, 130));
    const std::vector<UnknownTransaction> unknown{{5, "t5", "SPLIT_OFF"}};
    QCOMPARE(report.unknown, unknown);
}

void LedgerTest::openingRowsMergeOrAreRefused()
{
    LedgerOpening opening = kOpening;
    opening.positions.push_back({"IBKR", "US", "AAPL", "USD", 30, 140});
    opening.cash.push_back({"IBKR", "USD", -300});
    const LedgerReport report = replayLedger(opening, {}, kNow).state.report();
    QCOMPARE(held(report, "IBKR", "AAPL").quantity, 40.0);
    QCOMPARE(held(report, "IBKR", "AAPL").averagePrice, 130.0);
    QCOMPARE(cashOf(report, "IBKR", "USD"), 700.0);

    opening.positions.push_back({"IBKR", "US", "AAPL", "USD", kNaN, 1});
    const auto refusal = replayLedger(opening, {}, kNow).refusal;
    QVERIFY(refusal);
    QCOMPARE(refusal->subject, RefusalSubject::OpeningPosition);
    QCOMPARE(refusal->index, std::size_t(4));
}

void LedgerTest::appendRefusesBackdatedRowsAndChangesNothing()
{
    LedgerState state = replayLedger(kOpening, ledger({trade("BUY", 1, 1), trade("BUY", 1, 1)}), kNow).state;
    const LedgerReport before = state.report();
    const auto backdated = state.apply(at(trade("SELL", 1, 1), k2024), kNow);
    QVERIFY(backdated);
    QCOMPARE(backdated->index, std::size_t(2));
    QCOMPARE(backdated->reason, RefusalReason::OutOfOrder);
    QVERIFY(state.apply(at(trade("SELL", 13, 1), k2024 + kDay), kNow));
    QCOMPARE(state.report(), before);
    QVERIFY(!state.apply(at(trade("SELL", 12, 1), k2024 + kDay), kNow));
    QCOMPARE(state.size(), std::size_t(3));
}

// Random ledgers grow by appends (applied in place where the date allows, replayed otherwise) and change
// by edits and deletes (replayed); a change the ledger refuses is undone, as the service would. Whatever
// path the kept state took, it must equal a fresh replay of the final ledger, which must equal applying
// its rows one at a time in time order.
void LedgerTest::randomEditsReplayLikeAFreshLedger()
{
    std::mt19937_64 random(20240501);
    const auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
    const std::vector<std::string> types{"BUY",        "BUY",      "BUY",         "SELL",         "SELL",
                                         "DIVIDEND",   "INTEREST", "FEE",         "TAX",          "DEPOSIT",
                                         "WITHDRAWAL", "SPLIT",    "TRANSFER_IN", "TRANSFER_OUT", "SPINOFF"};
    const auto randomRow = [&](const LedgerReport &now, std::int64_t latest) {
        LedgerTransaction t = row(types[pick(types.size())], pick(2) ? "IBKR" : "Tiger", pick(3) ? "AAPL" : "0700");
        t.quantity = double(1 + pick(500)) / 10;
        if ((t.type == "SELL" || t.type == "TRANSFER_OUT") && !now.positions.empty() && pick(3)) {
            const LedgerPosition &p = now.positions[pick(now.positions.size())]; // all of it, as a user types it
            std::tie(t.broker, t.market, t.code, t.currency) = std::tie(p.broker, p.market, p.code, p.currency);
            t.quantity = std::round(p.quantity * 1e6) / 1e6;
        }
        std::tie(t.price, t.commission, t.amount) =
            std::tuple(double(1 + pick(4000)) / 8, pick(4) / 2.0, pick(9999) / 1e2);
        t.splitRatio = std::array{2.0, 0.5, 3.0}[pick(3)];
        t.settlesInCash = pick(5) != 0;
        t.tradedAt =
            std::int64_t(pick(4) ? std::max(latest, k2024) + pick(3) * kDay / 2 : k2024 + pick(700) * kDay / 2);
        t.id = "r" + std::to_string(random());
        return t;
    };
    const auto sane = [](const LedgerReport &r) {
        double realised = 0;
        for (const Realisation &x : r.realisations)
            realised += x.gainUsd;
        return std::all_of(
                   r.positions.begin(), r.positions.end(),
                   [](auto &p) { return p.quantity > 0 && std::isfinite(p.averagePrice + p.realisedGainUsd); }) &&
               std::all_of(r.cash.begin(), r.cash.end(), [](auto &c) { return std::isfinite(c.amount); }) &&
               std::isfinite(r.allTime.incomeUsd) && near(realised, r.allTime.realisedGainUsd);
    };

    for (int round = 0; round < 30; ++round) {
        Rows rows;
        LedgerState kept = replayLedger(kOpening, {}, kNow).state;
        std::int64_t latest = 0;
        const std::size_t appends = 1 + pick(200);
        for (std::size_t step = 0; step < appends + 30; ++step) {
            Rows next = rows;
            const LedgerTransaction added = randomRow(kept.report(), latest);
            if (step < appends || rows.empty()) {
                next.push_back(added);
                LedgerState grown = kept;
                const auto refusal = grown.apply(added, kNow);
                if (refusal && refusal->reason != RefusalReason::OutOfOrder)
                    continue;
                if (!refusal) {
                    std::tie(rows, kept, latest) = std::tuple(next, grown, std::max(latest, added.tradedAt));
                    continue;
                }
            } else if (pick(3) == 0) {
                next.erase(next.begin() + std::ptrdiff_t(pick(next.size())));
            } else {
                LedgerTransaction &edited = next[pick(next.size())];
                std::tie(edited.quantity, edited.tradedAt) = std::tuple(added.quantity, added.tradedAt);
                edited.type = pick(2) ? edited.type : added.type;
            }
            if (LedgerReplay replay = replayLedger(kOpening, next, kNow); !replay.refusal) {
                std::tie(rows, kept) = std::tuple(next, replay.state);
                latest = std::max(latest, added.tradedAt);
            }
            QVERIFY(sane(kept.report()));
        }

        const LedgerReport report = replayLedger(kOpening, rows, kNow).state.report();
        QCOMPARE(kept.report(), report);
        std::stable_sort(rows.begin(), rows.end(), [](auto &a, auto &b) { return a.tradedAt < b.tradedAt; });
        LedgerState stepped = replayLedger(kOpening, {}, kNow).state;
        for (const LedgerTransaction &t : rows)
            QVERIFY(!stepped.apply(t, kNow));
        QCOMPARE(stepped.report(), replayLedger(kOpening, rows, kNow).state.report());

        // Cash is a sum of flows in any order, so an edit that left an old effect behind shows here.
        const std::string in = " DIVIDEND INTEREST DEPOSIT ", out = " FEE TAX WITHDRAWAL ";
        std::map<std::pair<std::string, std::string>, double> flows{{{"IBKR", "USD"}, 1000}};
        for (const LedgerTransaction &t : rows) {
            const double trade = t.settlesInCash ? t.quantity * t.price : 0, fee = t.settlesInCash ? t.commission : 0;
            const std::string word = " " + t.type + " ";
            flows[{t.broker, t.currency}] += t.type == "BUY"                       ? -trade - fee
                                             : t.type == "SELL"                    ? trade - fee
                                             : in.find(word) != std::string::npos  ? t.amount
                                             : out.find(word) != std::string::npos ? -t.amount
                                                                                   : 0;
        }
        for (const auto &[key, expected] : flows)
            QVERIFY(std::abs(cashOf(report, key.first, key.second) - expected) < 1e-6);
        QVERIFY(sane(report));
    }
}

QTEST_GUILESS_MAIN(LedgerTest)
#include "tst_ledger.moc"

// Times the import wizard's preview of a 100,000-line broker file: decoding the bytes, reading the CSV,
// guessing the mapping and planning every row against a ledger of 10,000 booked transactions. The file is
// made in memory with Japanese headers, type words and notes, once as UTF-8 and once as Shift_JIS, and the
// stages are also timed on their own. Prints the Shift_JIS preview against its target (at most 1 s).

#include "core/TransactionIdentity.h"
#include "core/exchange/CsvReader.h"
#include "core/exchange/ImportMapping.h"
#include "core/exchange/ImportPlan.h"
#include "core/exchange/TextDecoding.h"

#include "bench/TargetReporter.h"

#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>

#include <QLocale>

#include <cstdio>
#include <random>

namespace {

using namespace quillfern;
using namespace quillfern::exchange;

constexpr int kLines = 100000;

const QString &fileText()
{
    static const QString text = [] {
        static const char16_t *types[] = {u"現物買付", u"現物買付", u"現物売付", u"配当金", u"入金", u"手数料"};
        static const char16_t *codes[] = {u"7203", u"6758", u"8306", u"9984", u"6861", u"AAPL", u"MSFT", u"NVDA"};
        static const char16_t *notes[] = {u"", u"長期保有", u"NISA口座で購入", u"一部を利益確定",
                                          u"\"配当再投資, 自動\""};
        std::mt19937_64 random(7);
        QString out;
        out.reserve(kLines * 80);
        out += QStringLiteral("約定日,取引,銘柄コード,市場,約定数量,約定単価,手数料,通貨,受渡金額,証券会社,メモ\n");
        QDate day(2015, 1, 5);
        for (int i = 1; i < kLines; ++i) {
            if (random() % 40 == 0)
                day = day.addDays(1);
            const QStringView type(types[random() % 6]);
            const int code = int(random() % 8);
            const bool us = code >= 5;
            const bool trade = type.startsWith(u"現物");
            out += day.toString(QStringLiteral("yyyy/MM/dd"));
            out += u',';
            out += type;
            out += u',';
            out += trade || type == u"配当金" ? QStringView(codes[code]) : QStringView();
            out += u',';
            out += trade ? (us ? QStringLiteral("US") : QStringLiteral("東証")) : QString();
            out += u',';
            if (trade)
                out += QString::number(1 + random() % 50 * 100);
            out += QStringLiteral(",\"");
            if (trade)
                out += QLocale::c().toString(double(1 + random() % 900000) / 100.0, 'f', 2);
            out += QStringLiteral("\",");
            out += trade ? QString::number(random() % 500) : QString();
            out += u',';
            out += us ? QStringLiteral("USD") : QStringLiteral("JPY");
            out += QStringLiteral(",\"");
            if (!trade)
                out += QLocale::c().toString(double(1 + random() % 5000000) / 100.0, 'f', 2);
            out += QStringLiteral("\",SBI証券,");
            out += QStringView(notes[random() % 5]);
            out += u'\n';
        }
        return out;
    }();
    return text;
}

QByteArray encoded(const char *encoding)
{
    const QString &text = fileText();
    if (qstrcmp(encoding, "UTF-8") == 0)
        return text.toUtf8();
    UErrorCode status = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(encoding, &status);
    QByteArray bytes(text.size() * 2 + 16, '\0');
    const int32_t length =
        ucnv_fromUChars(converter, bytes.data(), int32_t(bytes.size()), reinterpret_cast<const UChar *>(text.utf16()),
                        int32_t(text.size()), &status);
    ucnv_close(converter);
    bytes.truncate(length);
    return bytes;
}

// The ledger the file is checked against: 10,000 transactions, so every row is looked up.
const QSet<QString> &booked()
{
    static const QSet<QString> keys = [] {
        QSet<QString> out;
        TransactionCreateInput input;
        input.transactionType = QStringLiteral("BUY");
        input.broker = QStringLiteral("SBI証券");
        input.code = QStringLiteral("7203");
        for (int i = 0; i < 10000; ++i) {
            input.quantity = 100 + i;
            input.price = 2500;
            input.tradedAt = QDate(2010, 1, 1).addDays(i % 3000).toString(Qt::ISODate) + QStringLiteral("T12:00:00Z");
            out.insert(duplicateKey(input));
        }
        return out;
    }();
    return keys;
}

ImportPlan preview(const QByteArray &bytes)
{
    const DetectedEncoding encoding =
        detectEncoding(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 65536)));
    const DecodedText decoded = decodeText(bytes, encoding.name);
    const CsvDialect dialect = sniffDialect(decoded.text);
    const CsvTable table = readCsv(decoded.text, dialect);
    const ImportMapping mapping = guessMapping(table, encoding.name, dialect);
    return planImport(table, mapping, booked());
}

void previewOf(benchmark::State &state, const char *encoding)
{
    const QByteArray bytes = encoded(encoding);
    booked();
    const ImportPlan check = preview(bytes);
    if (check.ok + check.duplicates != kLines - 1) {
        state.SkipWithError("the generated file does not plan cleanly");
        return;
    }
    for (auto _ : state) {
        ImportPlan plan = preview(bytes);
        benchmark::DoNotOptimize(plan);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kLines);
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}

void previewUtf8(benchmark::State &state)
{
    previewOf(state, "UTF-8");
}

void previewShiftJis(benchmark::State &state)
{
    previewOf(state, "windows-31j");
}

void decodeShiftJis(benchmark::State &state)
{
    const QByteArray bytes = encoded("windows-31j");
    for (auto _ : state) {
        DecodedText decoded = decodeText(bytes, QStringLiteral("Shift_JIS"));
        benchmark::DoNotOptimize(decoded);
    }
}

void read(benchmark::State &state)
{
    for (auto _ : state) {
        CsvTable table = readCsv(fileText(), {});
        benchmark::DoNotOptimize(table);
    }
}

void guess(benchmark::State &state)
{
    const CsvTable table = readCsv(fileText(), {});
    for (auto _ : state) {
        ImportMapping mapping = guessMapping(table, QStringLiteral("UTF-8"), {});
        benchmark::DoNotOptimize(mapping);
    }
}

void plan(benchmark::State &state)
{
    const CsvTable table = readCsv(fileText(), {});
    const ImportMapping mapping = guessMapping(table, QStringLiteral("UTF-8"), {});
    booked();
    for (auto _ : state) {
        ImportPlan plan = planImport(table, mapping, booked());
        benchmark::DoNotOptimize(plan);
    }
}

BENCHMARK(decodeShiftJis)->Unit(benchmark::kMillisecond);
BENCHMARK(read)->Unit(benchmark::kMillisecond);
BENCHMARK(guess)->Unit(benchmark::kMillisecond);
BENCHMARK(plan)->Unit(benchmark::kMillisecond);
BENCHMARK(previewUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(previewShiftJis)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    quillfern::benchmarks::TargetReporter reporter("previewShiftJis");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.time() > 0)
        std::printf("\npreview of a %d-line Shift_JIS file: %.0f ms  (target <= 1000 ms) %s\n", kLines, reporter.time(),
                    reporter.time() <= 1000 ? "ok" : "MISSED");
    benchmark::Shutdown();
    return 0;
}

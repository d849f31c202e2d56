#include "core/exchange/CsvReader.h"

#include <QHash>

#include <array>

// Our own reader rather than libcsv: it works on the decoded text in place (libcsv wants bytes, so every
// legacy-encoded file would be encoded again) and knows the physical line each record starts on, which the
// problems name. fuzz/CsvReaderTarget.cpp checks it against libcsv.

namespace quillfern::exchange {
namespace {

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

} // namespace

// Some programs quote with apostrophes: they do when more of the first lines' fields are wrapped in
// apostrophes than in double quotes.
QChar sniffQuote(QStringView text, QChar delimiter, int maxLines)
{
    int doubles = 0, singles = 0, lines = 0;
    for (const QStringView line : text.tokenize(u'\n')) {
        if (++lines > maxLines)
            break;
        for (QStringView field : line.split(delimiter)) {
            field = field.trimmed();
            if (field.size() < 2 || field.front() != field.back())
                continue;
            doubles += field.front() == u'"';
            singles += field.front() == u'\'';
        }
    }
    return singles > doubles ? QChar(u'\'') : QChar(u'"');
}

CsvDialect sniffDialect(QStringView text)
{
    constexpr std::array<char16_t, 4> candidates{u',', u';', u'\t', u'|'};
    constexpr int maxLines = 50;
    // Per candidate, how many lines split into each count of fields.
    std::array<QHash<int, int>, candidates.size()> histograms;
    std::array<int, candidates.size()> counts{};
    bool quoted = false;
    int lines = 0;
    bool lineHasText = false;
    const auto endLine = [&] {
        if (lineHasText) {
            for (size_t k = 0; k < candidates.size(); ++k) {
                if (counts[k] > 0)
                    ++histograms[k][counts[k]];
            }
            ++lines;
        }
        counts.fill(0);
        lineHasText = false;
    };
    for (qsizetype i = 0; i < text.size() && lines < maxLines; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && isLineBreak(c)) {
            endLine();
            continue;
        } else if (!quoted) {
            for (size_t k = 0; k < candidates.size(); ++k)
                counts[k] += c == candidates[k];
        }
        lineHasText = true;
    }
    endLine();

    // The delimiter that gives the most lines the same number of fields; more fields break a tie.
    CsvDialect best;
    int bestLines = 0, bestCount = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        for (auto it = histograms[k].cbegin(); it != histograms[k].cend(); ++it) {
            if (it.value() > bestLines || (it.value() == bestLines && it.key() > bestCount)) {
                bestLines = it.value();
                bestCount = it.key();
                best.delimiter = QChar(candidates[k]);
            }
        }
    }
    best.quote = sniffQuote(text, best.delimiter, maxLines);
    return best;
}

CsvTable readCsv(QStringView text, CsvDialect dialect, const ProgressFn &progress)
{
    CsvTable table;
    const char16_t *const p = text.utf16();
    const qsizetype n = text.size();
    const char16_t delimiter = dialect.delimiter.unicode();
    const char16_t quote = dialect.quote.unicode();
    table.records.reserve(text.count(u'\n') + 1);

    qsizetype i = 0;
    int line = 1;
    qsizetype nextReport = 0;
    qsizetype width = 1;
    while (i < n) {
        if (isLineBreak(p[i])) { // a fully blank line
            i += p[i] == u'\r' && i + 1 < n && p[i + 1] == u'\n' ? 2 : 1;
            ++line;
            continue;
        }
        if (progress && i >= nextReport) {
            if (!progress(i, n)) {
                table.cancelled = true;
                return table;
            }
            nextReport = i + (1 << 16);
        }
        CsvRecord record;
        record.line = line;
        record.fields.reserve(width); // rows are as wide as the one before, as a rule
        while (true) {
            // Blanks before an opening quote are a common slip ("a", "b"): the quote still opens the field.
            qsizetype start = i;
            while (start < n && (p[start] == u' ' || p[start] == u'\t') && p[start] != delimiter)
                ++start;
            if (start < n && p[start] == quote) {
                const int openedOn = line;
                QString value;
                bool doubled = false;
                qsizetype segment = start + 1, k = start + 1;
                bool closed = false;
                while (k < n) {
                    const char16_t c = p[k];
                    if (c == quote) {
                        if (k + 1 < n && p[k + 1] == quote) {
                            value.append(QStringView(p + segment, k + 1 - segment));
                            doubled = true;
                            k += 2;
                            segment = k;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    if (c == u'\n' || (c == u'\r' && (k + 1 >= n || p[k + 1] != u'\n')))
                        ++line;
                    ++k;
                }
                if (!closed) {
                    table.problem =
                        ImportProblem{QStringLiteral("importUnterminatedQuote"), {QString::number(openedOn)}, openedOn};
                    return table;
                }
                if (doubled)
                    value.append(QStringView(p + segment, k - segment));
                else
                    value = QStringView(p + segment, k - segment).toString();
                // Text after the closing quote is kept as written, the way spreadsheets read it.
                qsizetype end = k + 1;
                while (end < n && p[end] != delimiter && !isLineBreak(p[end]))
                    ++end;
                const QStringView rest(p + k + 1, end - k - 1);
                if (!rest.trimmed().isEmpty())
                    value.append(rest);
                record.fields.append(std::move(value));
                i = end;
            } else {
                qsizetype end = i;
                while (end < n && p[end] != delimiter && !isLineBreak(p[end]))
                    ++end;
                record.fields.append(QStringView(p + i, end - i).toString());
                i = end;
            }
            if (i < n && p[i] == delimiter) {
                ++i;
                continue;
            }
            if (i < n) {
                i += p[i] == u'\r' && i + 1 < n && p[i + 1] == u'\n' ? 2 : 1;
                ++line;
            }
            break;
        }
        width = std::max<qsizetype>(record.fields.size(), 1);
        table.records.append(std::move(record));
    }
    if (progress && !progress(n, n))
        table.cancelled = true;
    return table;
}

} // namespace quillfern::exchange

// The import's CSV reader against libcsv, the reference for RFC 4180. The first byte picks the delimiter;
// the rest, read as Latin-1, is the file. Where libcsv in strict mode reads the file, ours must read the same
// records; where ours finds an unterminated quote, libcsv must refuse too. Whatever ours reads, written back
// with every field quoted, reads back the same, and record lines only grow. The records then go through the
// mapping guess and the plan, which must account for every row without crashing.

#include "core/exchange/CsvReader.h"
#include "core/exchange/ImportMapping.h"
#include "core/exchange/ImportPlan.h"
#include "fuzz/FuzzCheck.h"

#include <csv.h>

#include <QString>
#include <QStringList>

namespace {

using namespace quillfern::exchange;

struct Reference {
    QList<QStringList> records;
    QStringList current;
};

void onField(void *data, size_t length, void *sink)
{
    static_cast<Reference *>(sink)->current.append(
        QString::fromLatin1(static_cast<const char *>(data), qsizetype(length)));
}

void onRecord(int, void *sink)
{
    auto *reference = static_cast<Reference *>(sink);
    reference->records.append(std::exchange(reference->current, {}));
}

int noSpace(unsigned char)
{
    return 0;
}

// libcsv in strict mode, blanks kept as they are; empty when it refuses the input.
std::optional<QList<QStringList>> referenceRead(const char *data, size_t size, char delimiter)
{
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0)
        return std::nullopt;
    csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
    csv_set_space_func(&parser, noSpace);
    Reference reference;
    const bool read = csv_parse(&parser, data, size, onField, onRecord, &reference) == size &&
                      csv_fini(&parser, onField, onRecord, &reference) == 0;
    csv_free(&parser);
    if (!read)
        return std::nullopt;
    return reference.records;
}

QString quoted(const QList<CsvRecord> &records, QChar delimiter)
{
    QString text;
    for (const CsvRecord &record : records) {
        QStringList fields;
        for (QString field : record.fields)
            fields.append(u'"' + field.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"');
        text += fields.join(delimiter) + QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const char delimiters[] = {',', ';', '\t', '|'};
    const char delimiter = delimiters[data[0] % 4];
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const size_t length = size - 1;
    const QString text = QString::fromLatin1(bytes, qsizetype(length));
    const CsvDialect dialect{QChar::fromLatin1(delimiter), u'"'};

    const CsvTable table = readCsv(text, dialect);
    int lastLine = 0;
    const int lines = int(text.count(u'\n') + text.count(u'\r')) + 1;
    for (const CsvRecord &record : table.records) {
        QF_FUZZ_CHECK(record.line > lastLine && record.line <= lines);
        QF_FUZZ_CHECK(!record.fields.isEmpty());
        lastLine = record.line;
    }

    const auto reference = referenceRead(bytes, length, delimiter);
    if (reference) {
        QF_FUZZ_CHECK(!table.problem);
        QList<QStringList> ours;
        for (const CsvRecord &record : table.records)
            ours.append(record.fields);
        QF_FUZZ_CHECK(ours == *reference);
    }
    if (table.problem) {
        QF_FUZZ_CHECK(table.problem->key == u"importUnterminatedQuote");
        QF_FUZZ_CHECK(!reference);
    }

    const CsvTable again = readCsv(quoted(table.records, dialect.delimiter), dialect);
    QF_FUZZ_CHECK(!again.problem && again.records.size() == table.records.size());
    for (qsizetype i = 0; i < again.records.size(); ++i)
        QF_FUZZ_CHECK(again.records[i].fields == table.records[i].fields);

    const ImportMapping mapping = guessMapping(table, QStringLiteral("windows-1252"), dialect);
    const ImportPlan plan = planImport(table, mapping, {});
    QF_FUZZ_CHECK(plan.ok + plan.duplicates + plan.errors == plan.rows.size());
    for (const ImportRow &row : plan.rows)
        QF_FUZZ_CHECK(row.outcome != ImportRow::Outcome::Error || (row.problem && row.problem->line == row.line));
    return 0;
}

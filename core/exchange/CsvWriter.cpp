#include "core/exchange/CsvWriter.h"

#include "core/exchange/CsvReader.h"

#include <charconv>
#include <cmath>

namespace quillfern::exchange {

QString csvField(const QString &text, QChar delimiter)
{
    const bool quoted = text.contains(delimiter) || text.contains(u'"') || text.contains(u'\n') ||
                        text.contains(u'\r') || (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quoted)
        return text;
    QString field = text;
    field.replace(u'"', QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

QString plainNumber(double value)
{
    if (!std::isfinite(value))
        return {};
    if (value == 0)
        return QStringLiteral("0");
    // Fixed notation at the shortest round-trip precision: 1e-7 is written 0.0000001.
    char buffer[400];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (written.ec != std::errc())
        return QString::number(value, 'g', 17);
    return QString::fromLatin1(buffer, written.ptr - buffer);
}

QString csvText(const ExportCell &cell)
{
    if (const auto *text = std::get_if<QString>(&cell.value)) {
        // A spreadsheet program opening the file would run a text that starts like a formula (a note typed as
        // "=HYPERLINK(...)"); the apostrophe makes it text there, and the importer takes it off again.
        if (startsLikeFormula(*text))
            return QLatin1Char('\'') + *text;
        return *text;
    }
    if (const auto *figure = std::get_if<double>(&cell.value))
        return plainNumber(*figure);
    if (const auto *day = std::get_if<QDate>(&cell.value))
        return day->toString(QStringLiteral("yyyy-MM-dd"));
    return {};
}

QByteArray csvBytes(const ExportTable &table, const CsvOptions &options)
{
    QString text;
    const auto record = [&](const auto &cells, auto &&textOf) {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0)
                text += options.delimiter;
            text += csvField(textOf(cells.at(i)), options.delimiter);
        }
        text += QStringLiteral("\r\n");
    };
    record(table.columns, [](const ExportColumn &column) { return column.title; });
    for (const QList<ExportCell> &row : table.rows)
        record(row, [](const ExportCell &cell) { return csvText(cell); });
    QByteArray bytes = options.byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    bytes += text.toUtf8();
    return bytes;
}

std::optional<ExportFileError> writeCsv(const ExportTable &table, const QString &path, const CsvOptions &options)
{
    return saveFile(path, csvBytes(table, options));
}

} // namespace quillfern::exchange

#include "core/exchange/XlsxWorkbook.h"

#include "core/exchange/CsvWriter.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>

namespace quillfern::exchange {
namespace {

constexpr qsizetype measuredRows = 1000;
constexpr double narrowest = 8;
constexpr double widest = 60;
constexpr qsizetype longestText = 32767; // a cell holds no more

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

double textWidth(const QString &text)
{
    double width = 0;
    for (const char32_t c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

// Sheet names may not hold []:*?/\, be longer than 31 characters or repeat one another.
QString sheetName(const QString &wanted, QSet<QString> &taken)
{
    QString name;
    for (const QChar c : wanted)
        name += QStringLiteral("[]:*?/\\").contains(c) ? u'_' : c;
    name = name.left(31).trimmed();
    if (name.isEmpty() || name.startsWith(u'\''))
        name = QStringLiteral("Sheet");
    QString candidate = name;
    for (int n = 2; taken.contains(candidate.toCaseFolded()); ++n)
        candidate = name.left(31 - 4) + QStringLiteral(" (%1)").arg(n);
    taken.insert(candidate.toCaseFolded());
    return candidate;
}

class Formats {
public:
    explicit Formats(lxw_workbook *workbook) : m_workbook(workbook)
    {
        m_header = workbook_add_format(workbook);
        format_set_bold(m_header);
        m_date = numberFormat("yyyy-mm-dd");
        m_percent = numberFormat("0.00%");
        m_general = workbook_add_format(workbook);
    }

    lxw_format *header() const { return m_header; }
    lxw_format *date() const { return m_date; }
    lxw_format *percent() const { return m_percent; }
    lxw_format *general() const { return m_general; }

    lxw_format *money(const QString &currency)
    {
        const int decimals = std::clamp(currencyDecimals(currency), 0, 6);
        auto found = m_money.find(decimals);
        if (found == m_money.end()) {
            const QByteArray pattern = decimals == 0 ? QByteArray("#,##0") : "#,##0." + QByteArray(decimals, '0');
            found = m_money.insert(decimals, numberFormat(pattern.constData()));
        }
        return *found;
    }

private:
    lxw_format *numberFormat(const char *pattern)
    {
        lxw_format *format = workbook_add_format(m_workbook);
        format_set_num_format(format, pattern);
        return format;
    }

    lxw_workbook *m_workbook;
    lxw_format *m_header;
    lxw_format *m_date;
    lxw_format *m_percent;
    lxw_format *m_general;
    QHash<int, lxw_format *> m_money;
};

lxw_error writeCell(lxw_worksheet *sheet, lxw_row_t row, lxw_col_t column, const ExportCell &cell, ExportFormat format,
                    Formats &formats)
{
    if (const auto *text = std::get_if<QString>(&cell.value)) {
        if (text->isEmpty())
            return LXW_NO_ERROR;
        return worksheet_write_string(sheet, row, column, text->left(longestText).toUtf8().constData(), nullptr);
    }
    if (const auto *day = std::get_if<QDate>(&cell.value)) {
        lxw_datetime moment{day->year(), day->month(), day->day(), 0, 0, 0};
        return worksheet_write_datetime(sheet, row, column, &moment, formats.date());
    }
    if (const auto *figure = std::get_if<double>(&cell.value)) {
        switch (format) {
        case ExportFormat::Money:
            return worksheet_write_number(sheet, row, column, *figure, formats.money(cell.currency));
        case ExportFormat::Percent:
            return worksheet_write_number(sheet, row, column, *figure / 100.0, formats.percent());
        default:
            return worksheet_write_number(sheet, row, column, *figure, formats.general());
        }
    }
    return LXW_NO_ERROR;
}

lxw_error writeSheet(lxw_worksheet *sheet, const ExportTable &table, Formats &formats)
{
    for (qsizetype c = 0; c < table.columns.size(); ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), columnWidth(table, c), nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
    for (qsizetype c = 0; c < table.columns.size(); ++c) {
        const QByteArray title = table.columns.at(c).title.toUtf8();
        if (const lxw_error error = worksheet_write_string(sheet, 0, lxw_col_t(c), title.constData(), formats.header()))
            return error;
    }
    if (!table.columns.isEmpty())
        worksheet_autofilter(sheet, 0, 0, lxw_row_t(table.rows.size()), lxw_col_t(table.columns.size() - 1));
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const QList<ExportCell> &cells = table.rows.at(r);
        for (qsizetype c = 0; c < cells.size() && c < table.columns.size(); ++c) {
            if (const lxw_error error =
                    writeCell(sheet, lxw_row_t(r + 1), lxw_col_t(c), cells.at(c), table.columns.at(c).format, formats))
                return error;
        }
    }
    return LXW_NO_ERROR;
}

ExportFileError libraryError(lxw_error error, const QString &path)
{
    return ExportFileError{ExportFileError::Kind::Other, path, QString::fromUtf8(lxw_strerror(error))};
}

} // namespace

double columnWidth(const ExportTable &table, qsizetype column)
{
    if (column < 0 || column >= table.columns.size())
        return narrowest;
    const ExportFormat format = table.columns.at(column).format;
    // The header's filter button takes about two characters.
    double width = textWidth(table.columns.at(column).title) + 2;
    for (qsizetype r = 0; r < table.rows.size() && r < measuredRows; ++r) {
        const QList<ExportCell> &cells = table.rows.at(r);
        if (column >= cells.size())
            continue;
        const ExportCell &cell = cells.at(column);
        double cellWidth = textWidth(csvText(cell));
        if (std::holds_alternative<double>(cell.value) && format != ExportFormat::Quantity &&
            format != ExportFormat::Ratio)
            cellWidth += cellWidth / 3 + 3; // grouping separators and fixed decimals
        width = std::max(width, cellWidth);
    }
    return std::clamp(width + 1, narrowest, widest);
}

std::optional<ExportFileError> writeWorkbook(const QList<ExportTable> &tables, const QString &path)
{
    // The library writes a file of its own choosing; it is made aside and then saved over path whole.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return ExportFileError{ExportFileError::Kind::Other, path, scratch.errorString()};
    const QByteArray folder = QFile::encodeName(scratch.path());
    const QByteArray made = QFile::encodeName(scratch.filePath(QStringLiteral("export.xlsx")));
    QByteArray tmpdir = folder;
    // Rows stream to disk as they are written, so a long ledger does not sit in memory twice.
    lxw_workbook_options options{LXW_TRUE, tmpdir.data(), LXW_FALSE};
    lxw_workbook *workbook = workbook_new_opt(made.constData(), &options);
    if (!workbook)
        return libraryError(LXW_ERROR_MEMORY_MALLOC_FAILED, path);
    Formats formats(workbook);
    QSet<QString> taken;
    lxw_error failed = LXW_NO_ERROR;
    for (const ExportTable &table : tables) {
        const QByteArray name = sheetName(table.name, taken).toUtf8();
        lxw_worksheet *sheet = workbook_add_worksheet(workbook, name.constData());
        failed = sheet ? writeSheet(sheet, table, formats) : LXW_ERROR_SHEETNAME_ALREADY_USED;
        if (failed)
            break;
    }
    const lxw_error closed = workbook_close(workbook);
    if (failed || closed)
        return libraryError(failed ? failed : closed, path);
    QFile file(QFile::decodeName(made));
    if (!file.open(QIODevice::ReadOnly))
        return ExportFileError{ExportFileError::Kind::Other, path, file.errorString()};
    return saveFile(path, file.readAll());
}

} // namespace quillfern::exchange

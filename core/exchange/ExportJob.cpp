#include "core/exchange/ExportJob.h"

#include "core/exchange/CsvWriter.h"
#include "core/exchange/XlsxWorkbook.h"

#include <QDir>
#include <QFileInfo>

namespace quillfern::exchange {

QString csvFilePath(const QString &folder, const QString &tableName, QDate day)
{
    // A name the file system would refuse loses its separators.
    QString name = tableName;
    name.replace(u'/', u'_').replace(u'\\', u'_');
    const QString stem = QStringLiteral("Quillfern %1 %2").arg(name, day.toString(QStringLiteral("yyyy-MM-dd")));
    const QDir dir(folder);
    QString path = dir.filePath(stem + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2).csv").arg(stem).arg(n));
    return path;
}

QString workbookFileName(QDate day)
{
    return QStringLiteral("Quillfern %1.xlsx").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

ExportOutcome runExport(const ExportRequest &request, const ExportSource &source)
{
    ExportOutcome outcome;
    QList<ExportTable> tables;
    for (const ExportTableKind kind : request.tables)
        tables.append(exportTable(kind, source));
    if (request.format == ExportFileFormat::Xlsx) {
        outcome.error = writeWorkbook(tables, request.destination);
        if (!outcome.error)
            outcome.written.append(request.destination);
        return outcome;
    }
    const CsvOptions options{request.byteOrderMark, u','};
    for (const ExportTable &table : tables) {
        const QString path = csvFilePath(request.destination, table.name, request.day);
        outcome.error = writeCsv(table, path, options);
        if (outcome.error)
            return outcome;
        outcome.written.append(path);
    }
    return outcome;
}

} // namespace quillfern::exchange

#include "core/exchange/ImportMapping.h"

namespace quillfern::exchange {

QList<ImportField> importFields()
{
    return {};
}

QString importFieldName(ImportField)
{
    return {};
}

std::optional<ImportField> importFieldFromName(QStringView)
{
    return std::nullopt;
}

QByteArray ImportMapping::toJson() const
{
    return {};
}

std::optional<ImportMapping> ImportMapping::fromJson(const QByteArray &)
{
    return std::nullopt;
}

QStringList knownDateFormats()
{
    return {};
}

QDate parseImportDate(QStringView, const QString &)
{
    return {};
}

QStringList dateFormatsFitting(const QStringList &)
{
    return {};
}

std::optional<double> parseImportNumber(QStringView, NumberStyle)
{
    return std::nullopt;
}

QList<NumberStyle> numberStylesFitting(const QStringList &)
{
    return {};
}

QString knownTypeValue(QStringView)
{
    return {};
}

ImportMapping guessMapping(const CsvTable &, const QString &encoding, CsvDialect dialect)
{
    ImportMapping mapping;
    mapping.encoding = encoding;
    mapping.dialect = dialect;
    return mapping;
}

QStringList distinctTypeValues(const CsvTable &, const ImportMapping &)
{
    return {};
}

} // namespace quillfern::exchange

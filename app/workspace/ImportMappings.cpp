#include "app/workspace/ImportMappings.h"

#include <QUrl>

namespace quillfern {

using exchange::CsvTable;
using exchange::ImportField;
using exchange::ImportMapping;

const QString ImportMappings::group = QStringLiteral("importMappings");

namespace {

// A brokerage's name as a settings key: a slash would open a group and some names hold one.
QString keyOf(const QString &broker)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(broker));
}

QStringList normalized(const QStringList &headings)
{
    QStringList folded;
    folded.reserve(headings.size());
    for (const QString &heading : headings)
        folded.append(heading.trimmed().toCaseFolded());
    return folded;
}

bool sameHeadings(const ImportMapping &kept, const ImportMapping &guessed)
{
    return kept.hasHeader && guessed.hasHeader && !guessed.headers.isEmpty() &&
           normalized(kept.headers) == normalized(guessed.headers);
}

// The values of a column below the heading, at most limit of them, blanks left out.
QStringList columnValues(const CsvTable &table, const ImportMapping &mapping, ImportField field, int limit = 500)
{
    QStringList values;
    const int column = mapping.columns.value(field, -1);
    if (column < 0)
        return values;
    for (qsizetype i = mapping.skipLines + (mapping.hasHeader ? 1 : 0);
         i < table.records.size() && values.size() < limit; ++i) {
        const QStringList &fields = table.records[i].fields;
        if (column < fields.size() && !fields[column].trimmed().isEmpty())
            values.append(fields[column].trimmed());
    }
    return values;
}

int widthOf(const CsvTable &table)
{
    qsizetype width = 0;
    for (const auto &record : table.records)
        width = std::max(width, record.fields.size());
    return int(width);
}

} // namespace

QList<std::pair<QString, ImportMapping>> ImportMappings::all() const
{
    QList<std::pair<QString, ImportMapping>> kept;
    m_settings.beginGroup(group);
    const QStringList keys = m_settings.childKeys();
    for (const QString &key : keys) {
        if (auto mapping = ImportMapping::fromJson(m_settings.value(key).toString().toUtf8()))
            kept.append({QUrl::fromPercentEncoding(key.toLatin1()), *std::move(mapping)});
    }
    m_settings.endGroup();
    return kept;
}

std::optional<ImportMapping> ImportMappings::forBroker(const QString &broker) const
{
    return ImportMapping::fromJson(m_settings.value(group + QLatin1Char('/') + keyOf(broker)).toString().toUtf8());
}

void ImportMappings::save(const QString &broker, const ImportMapping &mapping)
{
    m_settings.setValue(group + QLatin1Char('/') + keyOf(broker), QString::fromUtf8(mapping.toJson()));
}

FittedMapping fitSavedMapping(const QList<std::pair<QString, ImportMapping>> &saved, const ImportMapping &guessed,
                              const CsvTable &table, const QString &broker)
{
    const int width = widthOf(table);
    const auto withinWidth = [width](ImportMapping mapping) {
        for (auto column = mapping.columns.begin(); column != mapping.columns.end();)
            column = *column < width ? std::next(column) : mapping.columns.erase(column);
        return mapping;
    };

    // A mapping kept for this brokerage wins over another brokerage's with the same headings.
    const std::pair<QString, ImportMapping> *sameBroker = nullptr, *sameFile = nullptr;
    for (const auto &entry : saved) {
        if (entry.first == broker)
            sameBroker = &entry;
        if (sameHeadings(entry.second, guessed) && (!sameFile || entry.first == broker))
            sameFile = &entry;
    }
    if (sameFile) {
        ImportMapping mapping = sameFile->second;
        mapping.encoding = guessed.encoding;
        mapping.dialect = guessed.dialect;
        mapping.headers = guessed.headers;
        if (!broker.isEmpty())
            mapping.defaultBroker = broker;
        return {withinWidth(std::move(mapping)), MappingSource::SameHeadings};
    }
    if (!sameBroker)
        return {withinWidth(guessed), MappingSource::Guessed};

    const ImportMapping &kept = sameBroker->second;
    ImportMapping mapping = guessed;
    const QStringList keptHeadings = normalized(kept.headers);
    const QStringList headings = normalized(guessed.headers);
    for (auto column = kept.columns.cbegin(); column != kept.columns.cend(); ++column) {
        if (kept.hasHeader && guessed.hasHeader && *column < keptHeadings.size()) {
            const int found = int(headings.indexOf(keptHeadings[*column]));
            if (found >= 0)
                mapping.columns.insert(column.key(), found);
        } else if (!kept.hasHeader && !guessed.hasHeader) {
            mapping.columns.insert(column.key(), *column);
        }
    }
    for (auto word = kept.typeValues.cbegin(); word != kept.typeValues.cend(); ++word)
        mapping.typeValues.insert(word.key(), *word);
    if (exchange::dateFormatsFitting(columnValues(table, mapping, ImportField::Date)).contains(kept.dateFormat))
        mapping.dateFormat = kept.dateFormat;
    QStringList figures;
    for (ImportField field : {ImportField::Quantity, ImportField::Price, ImportField::Commission, ImportField::Amount})
        figures += columnValues(table, mapping, field);
    if (exchange::numberStylesFitting(figures).contains(kept.numbers))
        mapping.numbers = kept.numbers;
    mapping.defaultMarket = kept.defaultMarket;
    mapping.defaultCurrency = kept.defaultCurrency;
    mapping.defaultType = kept.defaultType;
    mapping.defaultBroker = broker;
    return {withinWidth(std::move(mapping)), MappingSource::SameBroker};
}

} // namespace quillfern

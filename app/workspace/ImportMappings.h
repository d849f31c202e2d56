#pragma once

// The column mappings files were imported with, one per brokerage, kept in the preferences so that the next
// file starts from the last one that worked: the mapping made for the same column headings first, else the
// one of the brokerage the user picked.

#include "core/exchange/ImportMapping.h"

#include <QList>
#include <QSettings>

#include <optional>

namespace quillfern {

class ImportMappings {
public:
    static const QString group;

    explicit ImportMappings(QSettings &settings) : m_settings(settings) {}

    // Every kept mapping with the brokerage it was kept for; one that no longer reads is left out.
    QList<std::pair<QString, exchange::ImportMapping>> all() const;
    std::optional<exchange::ImportMapping> forBroker(const QString &broker) const;
    // Replaces what was kept for the brokerage.
    void save(const QString &broker, const exchange::ImportMapping &mapping);

private:
    QSettings &m_settings;
};

// How a file's mapping came about.
enum class MappingSource { Guessed, SameHeadings, SameBroker };

struct FittedMapping {
    exchange::ImportMapping mapping;
    MappingSource source = MappingSource::Guessed;
};

// The mapping a file starts with. guessed is what the guesser made of table; a kept mapping made for the same
// column headings is taken whole, except for the encoding and delimiter, which read the file as guessed. Else
// broker's kept mapping lends its columns (found again by heading when it has them), type words, defaults, and
// its date and number formats where they still read the file's values. Columns past the table's width drop.
FittedMapping fitSavedMapping(const QList<std::pair<QString, exchange::ImportMapping>> &saved,
                              const exchange::ImportMapping &guessed, const exchange::CsvTable &table,
                              const QString &broker);

} // namespace quillfern

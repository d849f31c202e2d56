#pragma once

#include <array>
#include <span>

namespace quillfern {

// One catalogue key with its text in every language.
struct CatalogueRow {
    const char16_t *key;
    const char16_t *english;
    const char16_t *simplifiedChinese;
    const char16_t *traditionalChinese;
    const char16_t *japanese;
    const char16_t *korean;
};

// The catalogue in parts, one per area of the interface, each in a file of its own. A text is an ICU
// message pattern: {0}, {1} for arguments in any order, {0, plural, one {# row} other {# rows}} for counts.
std::span<const CatalogueRow> coreCatalogueRows();    // pages, tables, editing
std::span<const CatalogueRow> messageCatalogueRows(); // status lines, banners, errors
std::span<const CatalogueRow> windowCatalogueRows();  // menus, dialogs, tooltips, accessibility names
std::span<const CatalogueRow> signInCatalogueRows();  // the sign-in view
std::span<const CatalogueRow> ledgerCatalogueRows();  // the ledger page, its sheet and its changes
std::span<const CatalogueRow> performanceCatalogueRows(); // the performance page and the day change
std::span<const CatalogueRow> importWizardCatalogueRows(); // the import wizard and its menu entry
std::span<const CatalogueRow> importCatalogueRows();       // the problems of an import file
std::span<const CatalogueRow> exportCatalogueRows();       // export, backup and restore

// Every part, in catalogue order.
std::array<std::span<const CatalogueRow>, 9> catalogueParts();

} // namespace quillfern

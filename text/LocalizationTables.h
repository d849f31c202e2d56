#pragma once

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

std::span<const CatalogueRow> catalogueRows();

} // namespace quillfern

#include "text/LocalizationTables.h"

namespace quillfern {

std::span<const CatalogueRow> signInCatalogueRows()
{
    return {};
}

} // namespace quillfern

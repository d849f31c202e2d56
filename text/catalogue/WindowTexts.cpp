#include "text/LocalizationTables.h"

namespace quillfern {

std::span<const CatalogueRow> windowCatalogueRows()
{
    return {};
}

} // namespace quillfern

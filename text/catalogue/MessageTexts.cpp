#include "text/LocalizationTables.h"

namespace quillfern {

std::span<const CatalogueRow> messageCatalogueRows()
{
    return {};
}

} // namespace quillfern

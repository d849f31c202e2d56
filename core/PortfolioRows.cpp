#include "core/PortfolioRows.h"

#include <QUuid>

namespace quillfern {

QString newRowID()
{
    // QUuid draws version 4 UUIDs from the system's random source.
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace quillfern

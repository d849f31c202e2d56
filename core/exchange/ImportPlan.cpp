#include "core/exchange/ImportPlan.h"

namespace quillfern::exchange {

ImportPlan planImport(const CsvTable &, const ImportMapping &, const QSet<QString> &, const ProgressFn &)
{
    return {};
}

QStringList unclassifiedCodes(const ImportPlan &, const QSet<QString> &)
{
    return {};
}

} // namespace quillfern::exchange

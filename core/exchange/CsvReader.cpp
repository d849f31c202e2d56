#include "core/exchange/CsvReader.h"

namespace quillfern::exchange {

CsvDialect sniffDialect(QStringView)
{
    return {};
}

CsvTable readCsv(QStringView, CsvDialect, const ProgressFn &)
{
    return {};
}

} // namespace quillfern::exchange

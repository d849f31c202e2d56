#pragma once

#include <QString>
#include <QStringView>

namespace quillfern {

// "averagePrice" -> "average_price": every upper-case letter starts a new, lower-cased word.
QString toSnakeCase(QStringView name);

// "fx_to_usd" (and "fx_to_USD") -> "fxToUsd": the first word stays, each later word is capitalised;
// leading and trailing underscores stay; a key without "_" is returned unchanged.
QString fromSnakeCase(QStringView key);

} // namespace quillfern

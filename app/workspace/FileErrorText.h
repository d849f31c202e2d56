#pragma once

// A file the app could not write, told in the user's words.

#include "core/exchange/ExportFile.h"

#include <QString>

namespace quillfern {

QString fileErrorText(const exchange::ExportFileError &error, const QString &languageCode);

} // namespace quillfern

#pragma once

#include "core/ServiceRecords.h"

#include <QList>

namespace quillfern::server {

// The interface languages the app speaks.
const QList<LanguageOption> &languages();

// The GICS structure shipped with the service, one entry per sub-industry; empty when the built-in data
// could not be read (the service then refuses to start).
const QList<GICSClassification> &gicsClassifications();

} // namespace quillfern::server

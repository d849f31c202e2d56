#pragma once

#include <QSettings>

namespace quillfern {

// Writes pending changes to disk, keeping a file-backed store to its owner alone: the folder is made 0700
// when it has to be created and the file is set to 0600 after every write, because it holds a credential.
// Stores that are not files (the Windows registry) are only synced.
void syncPrivately(QSettings &settings);

} // namespace quillfern

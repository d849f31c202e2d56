#pragma once

// Makes the desktop open quillfern:// links with this very program, for this user: the browser hands a
// finished sign-in back through such a link, so a build started from its folder must be the handler too,
// not only an installed package.

#include <QString>

namespace quillfern {

// Where the user's handler is registered.
struct LinkHandlerPlaces {
    QString applicationsFolder; // desktop entries: $XDG_DATA_HOME/applications
    QString mimeappsFile;       // default handlers: $XDG_CONFIG_HOME/mimeapps.list

    // The user's own, from the XDG variables or their defaults under the home folder.
    static LinkHandlerPlaces forUser();
};

struct LinkHandlerOutcome {
    bool wroteEntry = false;   // the desktop entry was missing or started another program
    bool wroteDefault = false; // mimeapps.list did not name the entry as the scheme's default
    bool failed = false;       // a file could not be written
};

// The desktop entry's file name, as packaging/ installs it.
inline constexpr char16_t linkHandlerEntryName[] = u"io.quillfern.Quillfern.desktop";

// Writes the packaged desktop entry with Exec set to executable (an absolute path) into the applications
// folder when none is there or the one there starts another program, and names it the default handler of
// x-scheme-handler/quillfern in mimeapps.list, keeping everything else in that file. Files already right are
// left untouched. Blocks on the file system; prints nothing.
LinkHandlerOutcome registerLinkHandler(const QString &executable, const LinkHandlerPlaces &places);

// registerLinkHandler() for the running program and the user's folders, on a worker thread.
void registerLinkHandlerInBackground();

} // namespace quillfern

#pragma once

// The edit trace: one line per editing step, on standard output and appended to a fixed file, so an edit
// that went wrong on a user's machine can be followed afterwards. Logging never affects editing.

#include <QString>

namespace quillfern {

namespace EditDebugLog {

// "/tmp/quillfern-edit-runtime.log" unless replaced.
QString path();
void setPath(const QString &path);

// Writes "yyyy-MM-dd HH:mm:ss +0000 <message>\n" (UTC). The file is created readable and writable by its
// owner only, and never written through a symbolic link or into a file someone else owns.
void write(const QString &message);

// A number as the trace writes it: the shortest text that reads back as the same value, always with a
// fractional part or an exponent (12.5, 100.0, 1e-05).
QString number(double value);

} // namespace EditDebugLog

} // namespace quillfern

#pragma once

// Writing an export to disk: whole or not at all, with a failure the window can tell in the user's words.

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace quillfern::exchange {

struct ExportFileError {
    enum class Kind { PermissionDenied, DiskFull, Other };

    Kind kind = Kind::Other;
    QString path;
    QString detail; // the system's own words, for failures without a sentence of ours

    bool operator==(const ExportFileError &) const = default;
};

// Writes bytes to path through a temporary file renamed over it, so a file already there stays as it was
// unless the new one is complete.
std::optional<ExportFileError> saveFile(const QString &path, const QByteArray &bytes);

// Writes bytes to an open device and flushes it; the failure of a device that refused them.
std::optional<ExportFileError> writeAll(QFileDevice &device, const QByteArray &bytes);

} // namespace quillfern::exchange

#include "core/exchange/ExportFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace quillfern::exchange {
namespace {

// errno is read at once after the call that failed: Qt keeps only the text of it.
ExportFileError failure(const QFileDevice &device, const QString &path, int code)
{
    ExportFileError error{ExportFileError::Kind::Other, path, device.errorString()};
    if (device.error() == QFileDevice::ResourceError || code == ENOSPC || code == EDQUOT || code == EFBIG)
        error.kind = ExportFileError::Kind::DiskFull;
    else if (code == EACCES || code == EPERM || code == EROFS || device.error() == QFileDevice::PermissionsError)
        error.kind = ExportFileError::Kind::PermissionDenied;
    return error;
}

} // namespace

std::optional<ExportFileError> writeAll(QFileDevice &device, const QByteArray &bytes)
{
    errno = 0;
    if (device.write(bytes) != bytes.size() || !device.flush() || device.error() != QFileDevice::NoError)
        return failure(device, device.fileName(), errno);
    return std::nullopt;
}

std::optional<ExportFileError> saveFile(const QString &path, const QByteArray &bytes)
{
    // The folder offered by default (Documents) need not exist yet on a new account.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return failure(file, path, errno);
    if (auto error = writeAll(file, bytes)) {
        file.cancelWriting();
        error->path = path;
        return error;
    }
    errno = 0;
    if (!file.commit())
        return failure(file, path, errno);
    return std::nullopt;
}

} // namespace quillfern::exchange

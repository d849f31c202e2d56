#include "auth/PrivateSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillfern {
namespace {

bool isFileBacked(const QSettings &settings)
{
#ifdef Q_OS_WIN
    if (settings.format() == QSettings::NativeFormat || settings.format() == QSettings::Registry32Format ||
        settings.format() == QSettings::Registry64Format)
        return false;
#endif
    return QFileInfo(settings.fileName()).isAbsolute();
}

constexpr QFileDevice::Permissions ownerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

void syncPrivately(QSettings &settings)
{
    const bool fileBacked = isFileBacked(settings);
    const QFileInfo file(settings.fileName());
    // QSettings would create a missing folder itself, with the default (often world-readable) mode.
    if (fileBacked && !file.absoluteDir().exists()) {
        const QString folder = file.absolutePath();
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QDir().mkdir(folder, ownerOnlyFolder);
    }
    settings.sync();
    if (fileBacked && QFileInfo(settings.fileName()).isFile())
        QFile::setPermissions(settings.fileName(), ownerOnlyFile);
}

} // namespace quillfern

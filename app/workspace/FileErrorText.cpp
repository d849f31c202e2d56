#include "app/workspace/FileErrorText.h"

#include "text/Localization.h"

#include <QDir>

namespace quillfern {

QString fileErrorText(const exchange::ExportFileError &error, const QString &languageCode)
{
    const QString path = QDir::toNativeSeparators(error.path);
    switch (error.kind) {
    case exchange::ExportFileError::Kind::PermissionDenied:
        return AppText::format(u"filePermissionDenied", languageCode, {path});
    case exchange::ExportFileError::Kind::DiskFull:
        return AppText::format(u"fileDiskFull", languageCode, {path});
    case exchange::ExportFileError::Kind::Other:
        break;
    }
    return AppText::format(u"fileWriteFailed", languageCode, {path, error.detail});
}

} // namespace quillfern

#include "app/workspace/EditDebugLog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>

#include <charconv>
#include <cmath>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillfern::EditDebugLog {

namespace {

QMutex pathLock;

QString &storedPath()
{
    static QString value = QStringLiteral("/tmp/quillfern-edit-runtime.log");
    return value;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Appends to an existing log that is a regular file of ours; false when there is no such file.
bool appendToExisting(const QByteArray &file, const QByteArray &bytes, bool &exists)
{
    const int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        // ELOOP: the name is a symbolic link, which is never followed but does count as there.
        exists = errno != ENOENT;
        return false;
    }
    exists = true;
    struct stat info {};
    const bool ours = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
    const bool written = ours && writeAll(fd, bytes);
    ::close(fd);
    return written;
}

// Writes a new log beside the final name and moves it into place, so no one ever sees half a file.
void createAtomically(const QByteArray &file, const QByteArray &bytes)
{
    QByteArray aside = file + ".XXXXXX";
    const int fd = ::mkostemp(aside.data(), O_CLOEXEC); // mode 0600
    if (fd < 0)
        return;
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    // link() refuses to replace a file that appeared meanwhile; that writer's line then stays alone.
    if (!written || !closed || ::link(aside.constData(), file.constData()) != 0) {
        ::unlink(aside.constData());
        return;
    }
    ::unlink(aside.constData());
}

} // namespace

QString path()
{
    const QMutexLocker lock(&pathLock);
    return storedPath();
}

void setPath(const QString &path)
{
    const QMutexLocker lock(&pathLock);
    storedPath() = path;
}

void write(const QString &message)
{
    const QString line = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QStringLiteral(" +0000 ") + message + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);

    const QByteArray file = QFile::encodeName(path());
    bool exists = false;
    if (!appendToExisting(file, bytes, exists) && !exists)
        createAtomically(file, bytes);
}

QString number(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    const double magnitude = std::fabs(value);
    char buffer[64];
    // Plain digits for ordinary magnitudes, the exponent form outside them, as printed by most runtimes.
    if (magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0)) {
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
        QString text = QString::fromLatin1(buffer, end - buffer);
        if (!text.contains(QLatin1Char('.')))
            text += QStringLiteral(".0");
        return text;
    }
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    return QString::fromLatin1(buffer, end - buffer); // "1e-05", "1e+16"
}

} // namespace quillfern::EditDebugLog

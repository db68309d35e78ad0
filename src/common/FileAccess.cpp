#include "common/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

QString openRegularFileForReading(QFile &file)
{
    // Opened without blocking, so that a FIFO without writer cannot hold the program here, and
    // judged by the open handle, so that the file cannot be swapped between look and open.
    const int handle =
        ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return qt_error_string(errno);
    struct stat status = {};
    const bool examined = ::fstat(handle, &status) == 0;
    const int error = errno;
    if (!examined || !S_ISREG(status.st_mode)) {
        ::close(handle);
        return examined ? QStringLiteral("Not a regular file (a FIFO, device or folder)")
                        : qt_error_string(error);
    }
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return file.errorString();
    }
    return QString();
}

bool writeAll(QFileDevice &file, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        // A short write leaves no reason behind; the next write meets the failure and names it.
        const qint64 written = file.write(bytes.data(), bytes.size());
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

QString cannotWriteMessage(const QFileDevice &file)
{
    return QStringLiteral("Cannot write file %1: %2").arg(file.fileName(), file.errorString());
}

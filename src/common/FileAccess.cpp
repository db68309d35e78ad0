#include "common/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
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
    const QString name = file.fileName().isEmpty() ? file.objectName() : file.fileName();
    return QStringLiteral("Cannot write file %1: %2").arg(name, file.errorString());
}

FolderSaveFile::FolderSaveFile(QString path) : m_path(std::move(path)) {}

FolderSaveFile::~FolderSaveFile()
{
    if (m_handle >= 0)
        ::close(m_handle);
    if (!m_temporaryPath.isEmpty())
        ::unlink(QFile::encodeName(m_temporaryPath).constData());
}

bool FolderSaveFile::open()
{
    const QFileInfo final(m_path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate =
            final.path() + QStringLiteral("/.") + final.fileName() +
            QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        // A new file of its own: never one that exists, never through a link.
        m_handle = ::open(QFile::encodeName(candidate).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_handle >= 0) {
            m_temporaryPath = candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    m_error = qt_error_string(errno);
    return false;
}

bool FolderSaveFile::write(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = ::write(m_handle, bytes.data(), size_t(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_error = qt_error_string(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes = bytes.sliced(written);
    }
    return true;
}

bool FolderSaveFile::commit()
{
    const bool synced = ::fsync(m_handle) == 0;
    int error = errno;
    const bool closed = ::close(m_handle) == 0;
    m_handle = -1;
    if (synced && !closed)
        error = errno;
    // rename() replaces what is at the final name, a link included, and never follows it.
    if (synced && closed &&
        ::rename(QFile::encodeName(m_temporaryPath).constData(), QFile::encodeName(m_path).constData()) ==
            0) {
        m_temporaryPath.clear();
        return true;
    }
    if (synced && closed)
        error = errno;
    m_error = qt_error_string(error);
    return false;
}

QString FolderSaveFile::cannotCreateMessage() const
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(m_path, m_error);
}

QString FolderSaveFile::cannotWriteMessage() const
{
    return QStringLiteral("Cannot write file %1: %2").arg(m_path, m_error);
}

QString openInFolderForWriting(QFile &file, const QString &path, bool append)
{
    const QByteArray name = QFile::encodeName(path);
    if (!append) {
        struct stat status = {};
        if (::lstat(name.constData(), &status) == 0 && S_ISLNK(status.st_mode) &&
            ::unlink(name.constData()) != 0)
            return qt_error_string(errno);
    }
    const int handle = ::open(
        name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
    if (handle < 0)
        return errno == ELOOP ? QStringLiteral("A link stands at the file's name; it is not followed")
                              : qt_error_string(errno);
    file.setObjectName(path);
    if (!file.open(handle,
                   append ? QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered
                          : QIODevice::WriteOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return file.errorString();
    }
    return QString();
}

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            shown += QStringLiteral("\\r");
        else if (u == u'\n')
            shown += QStringLiteral("\\n");
        else if (u == u'\t')
            shown += QStringLiteral("\\t");
        else if (u == 0x1b)
            shown += QStringLiteral("\\e");
        else if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

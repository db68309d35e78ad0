#include "FolderClock.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "conversion/OutputFiles.h"

#include <QFile>
#include <QFileInfo>

QDateTime ProbeFolderClock(const QString &folder)
{
    const QString path = joinPath(folder, QStringLiteral("tempTime.txt"));
    QFile::remove(path);
    QFile probe(path);
    // Unbuffered, so that a full disk fails the write itself, with the system's reason.
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !writeAll(probe, "Just created file with this text in it...\r\n")) {
        const QString reason = probe.errorString();
        if (probe.isOpen())
            probe.remove();
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
    }
    probe.close();
    const QDateTime written = QFileInfo(path).lastModified();
    QFile::remove(path);
    return written;
}

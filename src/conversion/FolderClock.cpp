#include "FolderClock.h"

#include "common/Exception.h"
#include "conversion/OutputFiles.h"

#include <QFile>
#include <QFileInfo>

QDateTime ProbeFolderClock(const QString &folder)
{
    const QString path = joinPath(folder, QStringLiteral("tempTime.txt"));
    QFile::remove(path);
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly) || probe.write("Just created file with this text in it...\r\n") < 0)
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, probe.errorString()));
    probe.close();
    const QDateTime written = QFileInfo(path).lastModified();
    QFile::remove(path);
    return written;
}

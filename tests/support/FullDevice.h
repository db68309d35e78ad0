#pragma once

#include <QFile>
#include <sys/stat.h>
#include <sys/sysmacros.h>

// Makes the device of /dev/full at path, a file every write to which fails with "No space left on
// device", as on a full disk. A link to /dev/full would not do: the program never writes through a
// link. False where devices cannot be made.
inline bool plantFullDevice(const QString &path)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0;
}

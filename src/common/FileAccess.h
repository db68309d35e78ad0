#pragma once

#include <QByteArrayView>
#include <QString>

class QFile;
class QFileDevice;

// Opens the file for reading only when it is a regular file (after following links): a FIFO
// would block the open or the read, a device would feed the reader without end. Returns the
// reason when it cannot be opened, the system's own text where the system gave one; an empty
// text when the file is open. The file is opened on the handle that was judged, so its
// fileName() is empty afterwards: messages name the path themselves.
QString openRegularFileForReading(QFile &file);

// Writes all bytes, trying again after a short write so that a failure carries the system's
// reason ("No space left on device") in file.errorString(). False when not all were written.
bool writeAll(QFileDevice &file, QByteArrayView bytes);

// "Cannot write file <path>: <reason>" for a write, flush or commit of the file that failed.
QString cannotWriteMessage(const QFileDevice &file);

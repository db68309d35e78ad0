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

// "Cannot write file <path>: <reason>" for a write, flush or commit of the file that failed; a file
// opened on a handle is named by its objectName().
QString cannotWriteMessage(const QFileDevice &file);

// A file written whole under its final name or not at all, and always a file of its folder: the
// bytes go into a new file beside the final name, which commit() renames over it. A link at the
// final name is replaced by the new file, never followed; a read-only file there is replaced too.
// The new file has the default permissions. Without commit() the new file is removed.
class FolderSaveFile
{
public:
    explicit FolderSaveFile(QString path);
    ~FolderSaveFile();

    // Creates the new file beside the final name; false with errorString() when it cannot.
    bool open();
    // All bytes, or false with the system's reason in errorString().
    bool write(QByteArrayView bytes);
    // Writes the bytes to the disk and renames the new file over the final name.
    bool commit();
    QString errorString() const { return m_error; }
    const QString &fileName() const { return m_path; }

    // "Cannot create file \"<path>\". <reason>" and "Cannot write file <path>: <reason>".
    QString cannotCreateMessage() const;
    QString cannotWriteMessage() const;

    FolderSaveFile(const FolderSaveFile &) = delete;
    FolderSaveFile &operator=(const FolderSaveFile &) = delete;

private:
    QString m_path;
    QString m_temporaryPath;
    int m_handle = -1;
    QString m_error;
};

// Opens the file for writing without following a link at its name: a link there fails the open
// (replacing, a link is first removed, the link itself, and a new file is made). Appending keeps
// the file's bytes, replacing empties it. The file is opened on the handle, so the path is kept
// in its objectName(), which cannotWriteMessage() names. Returns the reason when it cannot be
// opened; an empty text when the file is open.
QString openInFolderForWriting(QFile &file, const QString &path, bool append);

// The text with control characters shown as escapes ("\r", "\n", "\e", "\x7f"), so that a name
// from an answer cannot break a log line or drive a terminal.
QString printable(const QString &text);

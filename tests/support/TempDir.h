#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary folder removed with the object, with helpers to put files into it.
class TempDir
{
public:
    TempDir();

    QString path() const { return m_dir.path(); }
    // The full path of a name inside the folder.
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Writes bytes to a file inside the folder (creating subfolders) and returns its full path.
    QString write(const QString &name, const QByteArray &bytes) const;
    // Reads a file inside the folder; an empty array when it is missing.
    QByteArray read(const QString &name) const;
    bool exists(const QString &name) const;
    // The names of the folder's files, sorted.
    QStringList files() const;

private:
    QTemporaryDir m_dir;
};

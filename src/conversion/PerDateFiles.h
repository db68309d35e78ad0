#pragma once

#include "conversion/FileWriterThread.h"

#include <memory>
#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QSet>
#include <QString>
#include <unordered_map>

// The per-date import files of one conversion (transa20240115.txt), each written through one
// handle that stays open for the conversion, by a thread of their own. The first line a
// conversion writes to a date's file replaces any file of that name, so that lines an earlier,
// failed conversion left there untagged never reach the host again under this member's name;
// later lines are appended.
class PerDateFiles
{
public:
    // The files are named by the prefix, the date as "yyyyMMdd" and ".txt". At most maxOpenFiles
    // handles are open at once: a report over more dates than that closes them all and reopens
    // each date's file for appending when it is next written.
    PerDateFiles(const QString &folder, const QString &prefix, int maxOpenFiles = 256);
    ~PerDateFiles(); // closes every file, ignoring errors: the lines written so far stay on disk

    // Adds the line and CR LF to the date's file; the bytes reach the disk in larger pieces, at
    // the latest when the files are closed or released. Throws EFCreateError when the file
    // cannot be created or opened, EInOutError "Cannot write file <path>: <reason>" when it
    // cannot be written; the file then keeps the whole lines written before.
    void append(const QDate &date, QByteArrayView line);
    // Flushes and closes every file; throws EInOutError when a file cannot be written or closed.
    void close();

    PerDateFiles(const PerDateFiles &) = delete;
    PerDateFiles &operator=(const PerDateFiles &) = delete;

private:
    struct OpenFile
    {
        explicit OpenFile(const QString &path) : path(path) { pending.reserve(kWriteSize + 1024); }
        QString path;
        QFile file;
        QByteArray pending; // lines not yet handed to the writer
    };
    // Each piece wakes the writer thread, which costs more processor time than the copy of a
    // large piece; a file holds at most a piece's lines.
    static constexpr qsizetype kWriteSize = 1024 * 1024;

    OpenFile &openFile(const QDate &date);
    void write(OpenFile &open);

    QString m_folder;
    QString m_prefix;
    int m_maxOpenFiles;
    std::unordered_map<qint64, std::unique_ptr<OpenFile>> m_open; // by Julian day
    QSet<qint64> m_written;    // Julian days whose file this conversion has replaced
    FileWriterThread m_writer; // last: it finishes writing before the files close
};

#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <QByteArray>
#include <QString>
#include <set>
#include <thread>
#include <utility>
#include <vector>

class QFile;

// Writes pieces of output to open files on a thread of its own, in the order they are handed
// over, so that a converter builds its next records while the system copies the last ones out.
// A write that fails is reported to the next call and leaves its file as it was before the
// piece; the pieces handed over after it are still written to the other files, as lines held
// back when a conversion stops are, but no longer to that file.
class FileWriterThread
{
public:
    FileWriterThread();
    ~FileWriterThread(); // waits for every piece handed over, ignoring errors

    // A buffer for the next piece: one that has been written, emptied, with its room kept.
    QByteArray spareBuffer();
    // Hands the bytes over for writing to the file. The file must stay open and untouched by
    // the caller until wait() returns. Waits while many pieces are pending. Throws EInOutError
    // when an earlier piece could not be written; these bytes are still written.
    void write(QFile &file, QByteArray bytes);
    // Waits until every piece handed over is written; throws EInOutError when one could not be.
    void wait();

    FileWriterThread(const FileWriterThread &) = delete;
    FileWriterThread &operator=(const FileWriterThread &) = delete;

private:
    static constexpr size_t kMaxPending = 8;

    void run();
    // Writes the piece whole or cuts the file back to where it began; the failure message.
    static QString writePiece(QFile &file, const QByteArray &bytes);
    void waitUntilIdle(std::unique_lock<std::mutex> &lock);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<QFile *, QByteArray>> m_pending;
    std::vector<QByteArray> m_spare;
    bool m_writing = false;
    bool m_stopping = false;
    QString m_error;                 // the message of the first failed write
    std::set<QFile *> m_failedFiles; // files a piece could not be written to
    std::thread m_thread;
};

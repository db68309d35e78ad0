#include "conversion/FileWriterThread.h"

#include "common/Exception.h"
#include "common/FileAccess.h"

#include <QFile>

FileWriterThread::FileWriterThread() : m_thread([this] { run(); }) {}

FileWriterThread::~FileWriterThread()
{
    {
        std::unique_lock lock(m_mutex);
        waitUntilIdle(lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

QByteArray FileWriterThread::spareBuffer()
{
    std::lock_guard lock(m_mutex);
    if (m_spare.empty())
        return {};
    QByteArray buffer = std::move(m_spare.back());
    m_spare.pop_back();
    return buffer;
}

void FileWriterThread::write(QFile &file, QByteArray bytes)
{
    QString failure;
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_pending.size() < kMaxPending; });
        m_pending.emplace_back(&file, std::move(bytes));
        failure = m_error;
    }
    m_changed.notify_all();
    if (!failure.isEmpty())
        throw EInOutError(failure);
}

void FileWriterThread::wait()
{
    std::unique_lock lock(m_mutex);
    waitUntilIdle(lock);
    m_failedFiles.clear(); // the caller may close the files now, and open others
    if (!m_error.isEmpty())
        throw EInOutError(m_error);
}

void FileWriterThread::waitUntilIdle(std::unique_lock<std::mutex> &lock)
{
    m_changed.wait(lock, [this] { return m_pending.empty() && !m_writing; });
}

QString FileWriterThread::writePiece(QFile &file, const QByteArray &bytes)
{
    const qint64 sizeBefore = file.size();
    if (writeAll(file, bytes))
        return QString();
    const QString failure = cannotWriteMessage(file);
    // A piece ends with a whole record: cutting the file back to where the piece began leaves
    // no record cut short.
    file.resize(sizeBefore);
    return failure;
}

void FileWriterThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty())
            return;
        auto [file, bytes] = std::move(m_pending.front());
        m_pending.pop_front();
        if (m_failedFiles.contains(file)) {
            // Written after the records that are lost, they would leave a gap in the file.
            m_spare.push_back(std::move(bytes));
            m_spare.back().resize(0);
            m_changed.notify_all();
            continue;
        }
        m_writing = true;
        lock.unlock();
        m_changed.notify_all(); // room for the next piece
        const QString failure = writePiece(*file, bytes);
        bytes.resize(0);
        lock.lock();
        m_writing = false;
        if (!failure.isEmpty()) {
            m_failedFiles.insert(file);
            if (m_error.isEmpty())
                m_error = failure;
        }
        m_spare.push_back(std::move(bytes));
        m_changed.notify_all();
    }
}

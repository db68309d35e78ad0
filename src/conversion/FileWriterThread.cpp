#include "conversion/FileWriterThread.h"

#include "common/Exception.h"

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
    if (!m_error.isEmpty())
        throw EInOutError(m_error);
}

void FileWriterThread::waitUntilIdle(std::unique_lock<std::mutex> &lock)
{
    m_changed.wait(lock, [this] { return m_pending.empty() && !m_writing; });
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
        m_writing = true;
        lock.unlock();
        m_changed.notify_all(); // room for the next piece
        const bool written = file->write(bytes) == bytes.size();
        const QString failure =
            written
                ? QString()
                : QStringLiteral("Cannot write file \"%1\". %2").arg(file->fileName(), file->errorString());
        bytes.resize(0);
        lock.lock();
        m_writing = false;
        if (m_error.isEmpty())
            m_error = failure;
        m_spare.push_back(std::move(bytes));
        m_changed.notify_all();
    }
}

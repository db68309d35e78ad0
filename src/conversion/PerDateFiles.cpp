#include "conversion/PerDateFiles.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "conversion/OutputFiles.h"

#include <utility>

PerDateFiles::PerDateFiles(const QString &folder, const QString &prefix, int maxOpenFiles)
    : m_folder(folder), m_prefix(prefix), m_maxOpenFiles(maxOpenFiles)
{
}

PerDateFiles::~PerDateFiles()
{
    // After a failure: the lines still pending follow what the writer holds, and it writes them
    // all before the files close.
    for (auto &entry : m_open) {
        try {
            m_writer.write(entry.second->file, std::move(entry.second->pending));
        } catch (const std::exception &) {
            // Reported already; the lines are written where they can be.
        }
    }
}

PerDateFiles::OpenFile &PerDateFiles::openFile(const QDate &date)
{
    const qint64 day = date.toJulianDay();
    if (const auto open = m_open.find(day); open != m_open.end())
        return *open->second;
    if (qsizetype(m_open.size()) >= m_maxOpenFiles)
        close();
    auto open = std::make_unique<OpenFile>(
        joinPath(m_folder, m_prefix + date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt")));
    const bool replaces = !m_written.contains(day);
    // A file of the folder itself: a link at its name is replaced, or refused when appending.
    if (const QString reason = openInFolderForWriting(open->file, open->path, !replaces); !reason.isEmpty())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(open->path, reason));
    m_written.insert(day);
    return *m_open.emplace(day, std::move(open)).first->second;
}

void PerDateFiles::write(OpenFile &open)
{
    QByteArray next = m_writer.spareBuffer();
    if (next.capacity() == 0)
        next.reserve(kWriteSize + 1024);
    m_writer.write(open.file, std::exchange(open.pending, std::move(next)));
}

void PerDateFiles::append(const QDate &date, QByteArrayView line)
{
    OpenFile &open = openFile(date);
    open.pending.append(line).append("\r\n", 2);
    if (open.pending.size() >= kWriteSize)
        write(open);
}

void PerDateFiles::close()
{
    for (auto &entry : m_open)
        m_writer.write(entry.second->file, std::move(entry.second->pending));
    // The files close only once the writer is done with them, also when a write failed.
    auto open = std::move(m_open);
    m_open.clear();
    m_writer.wait();
    for (auto &entry : open) {
        QFile &file = entry.second->file;
        file.close();
        if (file.error() != QFileDevice::NoError)
            throw EInOutError(cannotWriteMessage(file));
    }
}

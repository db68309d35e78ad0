#include "conversion/OutputFolderLock.h"

#include "conversion/OutputFiles.h"

namespace {

// A holder on this host is known to have ended once its process is gone; one on another host (a
// shared folder) only by the lock's age, which no conversion comes near.
constexpr std::chrono::hours kStaleAfter{6};

} // namespace

OutputFolderLock::OutputFolderLock(const QString &folder, std::chrono::milliseconds wait)
    : m_lock(joinPath(folder, QStringLiteral("VornImport.lock")))
{
    m_lock.setStaleLockTime(kStaleAfter);
    if (m_lock.tryLock(wait))
        return;
    qint64 pid = 0;
    QString host, program;
    if (m_lock.error() == QLockFile::LockFailedError && m_lock.getLockInfo(&pid, &host, &program))
        throw EOutputFolderInUse(
            QStringLiteral("The output folder %1 is in use by another conversion: %2, process %3 on %4")
                .arg(folder, program)
                .arg(pid)
                .arg(host));
    throw EFCreateError(QStringLiteral("Cannot create the lock file %1").arg(m_lock.fileName()));
}

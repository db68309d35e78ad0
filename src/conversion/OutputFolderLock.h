#pragma once

#include "common/Exception.h"

#include <chrono>
#include <QLockFile>
#include <QString>

VORN_DECLARE_EXCEPTION(EOutputFolderInUse, Exception)

// The lock of one conversion on its output folder (the file "VornImport.lock" there), held while
// the converter deletes, writes and tags its files, so that two conversions into one folder cannot
// mix their files. Released when the object ends; a lock whose holder ended without releasing it
// is taken over.
class OutputFolderLock
{
public:
    static constexpr std::chrono::milliseconds kWait{3000};

    // Waits up to wait for the lock. Throws EOutputFolderInUse naming the holder (program, process
    // id, host) when another conversion keeps it, EFCreateError when the lock file cannot be made.
    explicit OutputFolderLock(const QString &folder, std::chrono::milliseconds wait = kWait);

    OutputFolderLock(const OutputFolderLock &) = delete;
    OutputFolderLock &operator=(const OutputFolderLock &) = delete;

private:
    QLockFile m_lock;
};

#pragma once

#include <QDateTime>
#include <QString>

// The folder's own clock: creates the probe file "tempTime.txt" in the folder, takes its
// last-write time and deletes it again. Output files are later compared with this time, so
// it must come from the clock that stamps them (a network share has its own). Throws
// EFCreateError when the folder cannot be written.
QDateTime ProbeFolderClock(const QString &folder);

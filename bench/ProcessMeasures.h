#pragma once

#include <QtGlobal>

// What the benchmarks measure of their own process (Linux /proc and clocks).

// Starts a new peak of the resident memory (/proc/self/clear_refs).
void resetPeakMemory();
// The peak resident memory in bytes since start or the last reset (VmHWM); 0 when unknown.
qint64 peakMemory();
// Processor time (user and system) used by this process so far, in seconds: on a machine shared
// with other work the wall clock also counts the time the process waited for a processor.
double cpuSeconds();

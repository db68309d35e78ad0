#pragma once

#include <QList>
#include <QStringList>
#include <QtGlobal>

// What the benchmarks measure of their own process (Linux /proc and clocks), and the measuring
// of work in child processes, so that each measurement has its own peak memory and no heap left
// behind by the one before.

// Starts a new peak of the resident memory (/proc/self/clear_refs).
void resetPeakMemory();
// The peak resident memory in bytes since start or the last reset (VmHWM); 0 when unknown.
qint64 peakMemory();
// Processor time (user and system) used by this process so far, in seconds: on a machine shared
// with other work the wall clock also counts the time the process waited for a processor.
double cpuSeconds();

struct Measurement
{
    double seconds = 0;
    double processorSeconds = 0;
    qint64 peakBytes = 0;
    QStringList extra; // what the child printed after the three figures
};

// In a child: prints its measurement as the line that measureInChild reads (seconds, processor
// seconds, peak memory since start, then the extra words).
void printMeasurement(double seconds, double processorSeconds, const QStringList &extra = {});
// Runs this program again with the arguments; throws std::runtime_error when the child fails.
Measurement measureInChild(const QStringList &arguments);
// Runs each child `rounds` times, the children in turns, and keeps for each the fastest elapsed
// and processor times, the highest peak and the extra words of its last run.
QList<Measurement> measureBest(const QList<QStringList> &children, int rounds);

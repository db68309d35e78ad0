#include "ProcessMeasures.h"

#include <cstdio>
#include <ctime>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <stdexcept>

void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

qint64 peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

void printMeasurement(double seconds, double processorSeconds, const QStringList &extra)
{
    std::printf("%.3f %.3f %lld %s\n", seconds, processorSeconds, peakMemory(), qPrintable(extra.join(u' ')));
}

Measurement measureInChild(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error("measurement " + arguments.join(u' ').toStdString() + " failed");
    QStringList figures = QString::fromLocal8Bit(child.readAllStandardOutput()).simplified().split(u' ');
    Measurement m;
    m.seconds = figures.value(0).toDouble();
    m.processorSeconds = figures.value(1).toDouble();
    m.peakBytes = figures.value(2).toLongLong();
    m.extra = figures.mid(3);
    return m;
}

QList<Measurement> measureBest(const QList<QStringList> &children, int rounds)
{
    QList<Measurement> best(children.size());
    for (int round = 0; round < rounds; ++round) {
        for (qsizetype i = 0; i < children.size(); ++i) {
            const Measurement run = measureInChild(children[i]);
            Measurement &kept = best[i];
            if (round == 0 || run.seconds < kept.seconds)
                kept.seconds = run.seconds;
            if (round == 0 || run.processorSeconds < kept.processorSeconds)
                kept.processorSeconds = run.processorSeconds;
            kept.peakBytes = qMax(kept.peakBytes, run.peakBytes);
            kept.extra = run.extra;
        }
    }
    return best;
}

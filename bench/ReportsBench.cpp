// Loads a generated positions report through the report classes, reads every property of
// every position, and compares the throughput and peak memory with a bare pugixml parse of
// the same file; also runs the well-formedness check of a load alone over the file's text. Rates are
// given by elapsed time and by processor time (user and system, all threads).
//
//     reports_bench [positions=1000000] [rounds=3] [file]
//
// Without a file argument the report is written to a temporary folder and removed afterwards.

#include "ProcessMeasures.h"
#include "reports/PositionsReport.h"
#include "reports/XmlWellFormedCheck.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <pugixml.hpp>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

void writeReport(const QString &path, long positions)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">\n"
           "  <Header>\n    <GUID>6f1c2a9e-3b4d-4e5f-8a7b-1c2d3e4f5a6b</GUID>\n"
           "    <TimeStamp>2024-01-31T18:02:11</TimeStamp>\n    <StatusDate>2024-01-31</StatusDate>\n"
           "  </Header>\n  <Body>\n    <MemberAccountPositions>\n      <MemberCode>KDDU</MemberCode>\n";
    char record[1024];
    for (long i = 0; i < positions; ++i) {
        const int length =
            std::snprintf(record, sizeof record,
                          "      <MemberAccountPosition>\n"
                          "        <AccountNumber>%ld</AccountNumber>\n"
                          "        <RawAccountNumber>%ld</RawAccountNumber>\n"
                          "        <IBAN>SI5619100%010ld</IBAN>\n"
                          "        <IsinCode>SI00%08ld</IsinCode>\n"
                          "        <TotalVolume>%ld</TotalVolume>\n"
                          "        <AvailableVolume>%ld</AvailableVolume>\n"
                          "        <FrozenVolume>%ld</FrozenVolume>\n"
                          "        <LastChangeDateTime>2024-01-%02ldT09:15:00</LastChangeDateTime>\n"
                          "      </MemberAccountPosition>\n",
                          1000000 + i, i, i, i % 100000000, i % 50000, i % 40000, i % 10000, 1 + i % 28);
        out.write(record, length);
    }
    out << "    </MemberAccountPositions>\n  </Body>\n</WSResponse>\n";
}

struct Measure
{
    double seconds = 1e30;
    double processorSeconds = 1e30;
    qint64 peak = 0;
    double loadSeconds = 0;
    long long checksum = 0;
};

// Not inlined, so that an instruction count can be taken of each part alone
// (valgrind --tool=callgrind --toggle-collect='*bareParse*', '*loadReport*' or '*walkReport*').
[[gnu::noinline]] Measure bareParse(const QString &path)
{
    Measure m;
    resetPeakMemory();
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    {
        pugi::xml_document document;
        if (!document.load_file(path.toLocal8Bit().constData()))
            std::fprintf(stderr, "bare parse failed\n");
        m.checksum = document.document_element() ? 1 : 0;
        m.seconds = timer.nsecsElapsed() / 1e9;
        m.processorSeconds = cpuSeconds() - processorStart;
        m.peak = peakMemory();
    }
    return m;
}

// The check as a load runs it: over the text the load has read for the parser, before the
// parser takes it apart. The read is the parse's, so the check's cost is the check alone.
[[gnu::noinline]] Measure checkOnly(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
    const QByteArray text = file.readAll();
    Measure m;
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    XmlWellFormedCheck check;
    check.feed(text.constData(), size_t(text.size()), true);
    m.seconds = timer.nsecsElapsed() / 1e9;
    m.processorSeconds = cpuSeconds() - processorStart;
    if (!check.finished() || check.failed())
        std::fprintf(stderr, "check failed: %s\n", qPrintable(check.fault()));
    m.checksum = check.finished() && !check.failed();
    return m;
}

[[gnu::noinline]] PositionsReport::TXMLWSResponse *loadReport(TXMLDocument &document)
{
    return PositionsReport::BindWSResponse(document);
}

[[gnu::noinline]] long long walkReport(PositionsReport::TXMLWSResponse *response)
{
    using namespace PositionsReport;
    long long sum = response->Header()->StatusDate().size();
    TXMLMemberAccountPositions *report = response->Body()->MemberAccountPositions();
    sum += report->MemberCode().size();
    IXMLMemberAccountPositionList *positions = report->MemberAccountPosition();
    const int count = positions->Count();
    for (int i = 0; i < count; ++i) {
        TXMLMemberAccountPosition *p = positions->Items(i);
        sum += p->AccountNumber() + p->RawAccountNumber() + p->IBAN().size() + p->IsinCode().size() +
               p->TotalVolume() + p->AvailableVolume() + p->FrozenVolume() + p->LastChangeDateTime().size();
    }
    return sum;
}

Measure reportWalk(const QString &path)
{
    Measure m;
    resetPeakMemory();
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    {
        TXMLDocument document;
        document.setFileName(path);
        PositionsReport::TXMLWSResponse *response = loadReport(document);
        m.loadSeconds = timer.nsecsElapsed() / 1e9;
        m.checksum = walkReport(response);
        m.seconds = timer.nsecsElapsed() / 1e9;
        m.processorSeconds = cpuSeconds() - processorStart;
        m.peak = peakMemory();
    }
    return m;
}

// Keeps the fastest elapsed and the least processor time of the rounds, each on its own.
void keepBest(Measure &best, const Measure &round)
{
    const double processorSeconds = std::min(best.processorSeconds, round.processorSeconds);
    if (round.seconds < best.seconds)
        best = round;
    best.processorSeconds = processorSeconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const long positions = args.size() > 1 ? args[1].toLong() : 1000000;
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : 3;
    QTemporaryDir dir;
    const QString path =
        args.size() > 3 ? args[3] : dir.filePath(QStringLiteral("MemberAccountPositions.xml"));
    if (args.size() <= 3 || !QFileInfo::exists(path))
        writeReport(path, positions);
    const double megabytes = QFileInfo(path).size() / 1e6;
    std::printf("positions report: %ld positions, %.1f MB (%.0f bytes a position)\n", positions, megabytes,
                megabytes * 1e6 / positions);

    Measure bare, report, check;
    for (int round = 0; round < rounds; ++round) {
        const Measure b = bareParse(path);
        const Measure r = reportWalk(path);
        const Measure c = checkOnly(path);
        keepBest(bare, b);
        keepBest(report, r);
        keepBest(check, c);
        std::printf(
            "round %d: bare parse %.2f s (%.2f s processor), report load %.2f s + walk %.2f s (%.2f s "
            "processor, checksum %lld), check %.2f s (%.2f s processor)\n",
            round + 1, b.seconds, b.processorSeconds, r.loadSeconds, r.seconds - r.loadSeconds,
            r.processorSeconds, r.checksum, c.seconds, c.processorSeconds);
    }
    const auto rates = [megabytes](const char *what, const Measure &m) {
        std::printf("%-27s %7.1f MB/s, by processor time %7.1f MB/s", what, megabytes / m.seconds,
                    megabytes / m.processorSeconds);
        if (m.peak)
            std::printf(", peak memory %7.1f MB (%.2f x file)", m.peak / 1e6, m.peak / 1e6 / megabytes);
        std::printf("\n");
    };
    rates("bare pugixml parse:", bare);
    rates("report classes load + walk:", report);
    rates("well-formedness check:", check);
    const auto verdict = [](double ratio, double target) { return ratio >= target ? "met" : "NOT met"; };
    const double ratio = bare.seconds / report.seconds;
    const double processorRatio = bare.processorSeconds / report.processorSeconds;
    const double memory = report.peak / 1e6 / megabytes;
    std::printf("load + walk / bare parse: %.2f by elapsed, %.2f by processor time (target >= 0.70): %s, %s; "
                "memory %.2f x file (target <= 3): %s\n",
                ratio, processorRatio, verdict(ratio, 0.70), verdict(processorRatio, 0.70), memory,
                verdict(3.0, memory));
    const double checkRatio = bare.seconds / check.seconds;
    const double checkProcessorRatio = bare.processorSeconds / check.processorSeconds;
    std::printf("check / bare parse: %.2f by elapsed, %.2f by processor time (target >= 3): %s, %s\n",
                checkRatio, checkProcessorRatio, verdict(checkRatio, 3.0), verdict(checkProcessorRatio, 3.0));
    return check.checksum ? 0 : 1;
}

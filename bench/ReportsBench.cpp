// Loads a generated positions report through the report classes, reads every property of
// every position, and compares the throughput and peak memory with a bare pugixml parse of
// the same file.
//
//     reports_bench [positions=1000000] [rounds=3] [file]
//
// Without a file argument the report is written to a temporary folder and removed afterwards.

#include "ProcessMeasures.h"
#include "reports/PositionsReport.h"

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
    QElapsedTimer timer;
    timer.start();
    {
        pugi::xml_document document;
        if (!document.load_file(path.toLocal8Bit().constData()))
            std::fprintf(stderr, "bare parse failed\n");
        m.checksum = document.document_element() ? 1 : 0;
        m.seconds = timer.nsecsElapsed() / 1e9;
        m.peak = peakMemory();
    }
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
    QElapsedTimer timer;
    timer.start();
    {
        TXMLDocument document;
        document.setFileName(path);
        PositionsReport::TXMLWSResponse *response = loadReport(document);
        m.loadSeconds = timer.nsecsElapsed() / 1e9;
        m.checksum = walkReport(response);
        m.seconds = timer.nsecsElapsed() / 1e9;
        m.peak = peakMemory();
    }
    return m;
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

    Measure bare, report;
    for (int round = 0; round < rounds; ++round) {
        const Measure b = bareParse(path);
        const Measure r = reportWalk(path);
        if (b.seconds < bare.seconds)
            bare = b;
        if (r.seconds < report.seconds)
            report = r;
        std::printf("round %d: bare parse %.2f s, report load %.2f s + walk %.2f s (checksum %lld)\n",
                    round + 1, b.seconds, r.loadSeconds, r.seconds - r.loadSeconds, r.checksum);
    }
    const double bareRate = megabytes / bare.seconds;
    const double reportRate = megabytes / report.seconds;
    std::printf("bare pugixml parse:         %7.1f MB/s, peak memory %7.1f MB (%.2f x file)\n", bareRate,
                bare.peak / 1e6, bare.peak / 1e6 / megabytes);
    std::printf("report classes load + walk: %7.1f MB/s, peak memory %7.1f MB (%.2f x file)\n", reportRate,
                report.peak / 1e6, report.peak / 1e6 / megabytes);
    const double ratio = reportRate / bareRate;
    const double memory = report.peak / 1e6 / megabytes;
    std::printf("throughput ratio %.2f (target >= 0.70): %s; memory %.2f x file (target <= 3): %s\n", ratio,
                ratio >= 0.70 ? "met" : "NOT met", memory, memory <= 3.0 ? "met" : "NOT met");
    return 0;
}

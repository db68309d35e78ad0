// Runs a test request (Test=1: nothing is fetched) with many case numbers, as the host's unattended run
// does, and prints for each size the time, the processor time, the peak memory, the size of the answered
// file and its number of answers. With indexed keys and the answers of the series written together, the
// time grows with the number of case numbers, not with its square.
//
//     request_file_bench [case numbers=100000]
//
// The request file is written to a temporary folder and removed afterwards.

#include "batch/RequestFileRun.h"
#include "common/IniFile.h"
#include "ProcessMeasures.h"

#include <cstdio>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// The window as a test request needs it: nothing is fetched, the log is kept.
class BenchControls : public RequestFileControls
{
public:
    void untickConversionOnly() override {}
    void setReportTypeText(const QString &) override {}
    void setPeriod(const QDate &, const QDate &) override {}
    void setRemoteMemberText(const QString &) override {}
    void setCurrentCaseNumber(const QString &) override {}
    QString fetch() override { return QString(); }
    void log(const QString &line) override { m_lines << line; }
    QStringList logLines() const override { return m_lines; }

private:
    QStringList m_lines{QStringLiteral("start-up")};
};

void writeRequest(const QString &path, int caseNumbers)
{
    QByteArray text = "; the host's request\r\n[Request]\r\nRequestId=1\r\nTest=1\r\nDateFrom=1.3.2024\r\n"
                      "DateTo=2.3.2024\r\nMemberCode=R1\r\nCaseNumberCount=" +
                      QByteArray::number(caseNumbers) + "\r\n";
    for (int i = 1; i <= caseNumbers; ++i)
        text += "CaseNumber" + QByteArray::number(i) + "=CA" + QByteArray::number(900000 + i) + "\r\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        throw std::runtime_error("cannot write the request file");
}

void measure(const QString &folder, int caseNumbers)
{
    const QString path = folder + QStringLiteral("/request.ini");
    writeRequest(path, caseNumbers);
    resetPeakMemory();
    BenchControls controls;
    QElapsedTimer timer;
    const double cpuStart = cpuSeconds();
    timer.start();
    RequestFileRun(path, controls, QStringLiteral("OWN"), folder + QStringLiteral("/in"))
        .ProcessRequestFile();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double processorSeconds = cpuSeconds() - cpuStart;
    const IniFile answered(path);
    std::printf("%9d case numbers: %7.2f s, processor %7.2f s, peak memory %6.1f MB, file %7.1f MB, "
                "%d answers, %d log lines\n",
                caseNumbers, seconds, processorSeconds, peakMemory() / 1e6, QFileInfo(path).size() / 1e6,
                int(answered.keys(QStringLiteral("Response")).size()),
                int(answered.keys(QStringLiteral("Messages")).size()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const int caseNumbers = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir folder;
    if (!folder.isValid() || caseNumbers < 1) {
        std::fprintf(stderr, "usage: request_file_bench [case numbers=100000]\n");
        return 1;
    }
    for (const int size : {1000, 4000, caseNumbers})
        measure(folder.path(), size);
    return 0;
}

// Fetches a zipped positions report of 1,000,000 positions from the depository stand-in
// (scripts/depository-standin) and stores its entry in an input folder, as "Get XML, convert" does up to
// the stored file, and compares that with curl writing the archive plus unzip -p writing the entry, with
// the same client certificate, in the same run.
//
//   fetch_bench [FOLDER]   works in FOLDER (a temporary folder by default)
//
// The archive is announced as MemberCurrentAccounts4BTS.zip, a name whose hand-off converts nothing, so
// the fetch's figure is the transfer, the unpacking and the writing alone. Every measurement runs in a
// child process of its own (its own peak resident memory), three times, interleaved; the fastest counts.

#include "common/Messenger.h"
#include "GeneratedReports.h"
#include "ProcessMeasures.h"
#include "retrieval/ClientCertificateStore.h"
#include "retrieval/ResponseHandler.h"
#include "transport/ElHTTPSClient.h"
#include "transport/ElMemoryCertStorage.h"

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString AnnouncedName = QStringLiteral("MemberCurrentAccounts4BTS.zip");
const QString EntryName = QStringLiteral("MemberAccountPositions.xml");

class SilentMessenger : public Messenger
{
public:
    void log(const QString &) override {}
    void debugLog(const QString &) override {}
    void showMessage(const QString &text) override { throw std::runtime_error(text.toStdString()); }
};

class StoringOnly : public ResponseRecipient
{
public:
    bool debugging() const override { return false; }
    void appendToLog(const QString &) override {}
    void showErrorPage(const QString &) override
    {
        throw std::runtime_error("the stand-in answered an error page");
    }
    void showLogPage() override {}
    void importReport(const QString &) override { throw std::runtime_error("unexpected hand-off"); }
    void exportWorkbook(const QString &) override { throw std::runtime_error("unexpected hand-off"); }
};

QString url(const QString &folder)
{
    QFile port(QDir(folder).filePath(QStringLiteral("port")));
    if (!port.open(QIODevice::ReadOnly))
        throw std::runtime_error("no port file");
    return QStringLiteral("https://127.0.0.1:%1/kdd/Members.svc/MemberCurrentAccounts4BTS?MemberCode=BENCH")
        .arg(QString::fromLatin1(port.readAll().trimmed()));
}

void run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error((program + u' ' + arguments.join(u' ')).toStdString() + " failed");
}

int runFetch(const QString &folder)
{
    const QDir dir(folder);
    const QString input = dir.filePath(QStringLiteral("fetch-in"));
    QDir(input).removeRecursively();
    QDir().mkpath(input);
    ElWinCertStorage stores(dir.filePath(QStringLiteral("stores")));
    stores.addStore(QStringLiteral("MY"));
    ElMemoryCertStorage clientCertificates;
    clientCertificates.add(stores.certificate(0));
    ElHTTPSClient client;
    client.setCAFile(dir.filePath(QStringLiteral("standin/ca.pem")));
    client.setClientCertStorage(&clientCertificates);
    StoringOnly recipient;
    SilentMessenger messenger;
    ResponseHandler handler(recipient, messenger);
    handler.attachTo(client);
    handler.setInputFolder(input);
    const QString address = url(folder);

    resetPeakMemory();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    client.Get(address);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double processorSeconds = cpuSeconds() - cpuBefore;
    if (handler.ReceivedFileName() != AnnouncedName)
        throw std::runtime_error("unexpected file name");
    printMeasurement(seconds, processorSeconds,
                     {QString::number(QFileInfo(QDir(input).filePath(EntryName)).size()),
                      QString::number(handler.ReceivedBody().size())});
    return 0;
}

int runCurlAndUnzip(const QString &folder)
{
    const QDir dir(folder);
    const QString archive = dir.filePath(QStringLiteral("curl.zip"));
    const QString entry = dir.filePath(QStringLiteral("curl-entry.xml"));
    QFile::remove(archive);
    QFile::remove(entry);
    QElapsedTimer timer;
    timer.start();
    run(QStringLiteral("curl"),
        {QStringLiteral("-sSf"), QStringLiteral("--cacert"), dir.filePath(QStringLiteral("standin/ca.pem")),
         QStringLiteral("--cert"), dir.filePath(QStringLiteral("standin/client.pem")), QStringLiteral("-o"),
         archive, url(folder)});
    run(QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("unzip -p \"$0\" > \"$1\""), archive, entry});
    const double seconds = timer.nsecsElapsed() / 1e9;
    // The children's processor time is not this process's: only the elapsed time is compared.
    printMeasurement(seconds, seconds, {QString::number(QFileInfo(entry).size())});
    return 0;
}

int freePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    ::close(probe);
    if (!bound)
        throw std::runtime_error("no free port");
    return ntohs(address.sin_port);
}

double megabytes(qint64 bytes)
{
    return bytes / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    try {
        if (arguments.size() == 4 && arguments[1] == u"--child")
            return arguments[2] == u"fetch" ? runFetch(arguments[3]) : runCurlAndUnzip(arguments[3]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    QTemporaryDir temporary;
    const QString folder = arguments.size() > 1 ? arguments[1] : temporary.path();
    QDir().mkpath(folder);
    const QDir dir(folder);
    const QString standin = dir.filePath(QStringLiteral("standin"));
    const QString script = QStringLiteral(VORN_DEPOSITORY_STANDIN);
    bool started = false;
    int exitCode = 0;
    try {
        std::printf("Generating %d positions in %s\n", kPositions, qPrintable(folder));
        const QString report = dir.filePath(EntryName);
        generatePositionsReport(report);
        run(script, {QStringLiteral("certificates"), standin});
        QDir().mkpath(dir.filePath(QStringLiteral("stores/MY")));
        QFile::remove(dir.filePath(QStringLiteral("stores/MY/client.pem")));
        QFile::copy(QDir(standin).filePath(QStringLiteral("client.pem")),
                    dir.filePath(QStringLiteral("stores/MY/client.pem")));
        const int port = freePort();
        QFile portFile(dir.filePath(QStringLiteral("port")));
        portFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
        portFile.write(QByteArray::number(port));
        portFile.close();
        run(script, {QStringLiteral("start"), standin, QString::number(port)});
        started = true;
        // The big archive replaces the stand-in's answer for the name that converts nothing; nginx
        // opens the file on each request.
        const QString archive = QDir(standin).filePath(QStringLiteral("reports/") + AnnouncedName);
        QFile::remove(archive);
        run(QStringLiteral("zip"),
            {QStringLiteral("-q"), QStringLiteral("-j"), QStringLiteral("-X"), archive, report});

        const qint64 entryBytes = QFileInfo(report).size();
        const qint64 archiveBytes = QFileInfo(archive).size();
        std::printf("Report: %.1f MB, archive: %.1f MB\n", megabytes(entryBytes), megabytes(archiveBytes));
        const QList<Measurement> m =
            measureBest({{QStringLiteral("--child"), QStringLiteral("fetch"), folder},
                         {QStringLiteral("--child"), QStringLiteral("curl"), folder}},
                        3);
        const Measurement &fetch = m[0];
        const Measurement &curl = m[1];
        if (fetch.extra.value(0).toLongLong() != entryBytes || curl.extra.value(0).toLongLong() != entryBytes)
            throw std::runtime_error("a stored entry differs in size from the report");
        const double memoryBudget = archiveBytes + 1.5 * entryBytes;
        std::printf("fetch and store:   %6.2f s (CPU %.2f s), peak memory %.1f MB\n", fetch.seconds,
                    fetch.processorSeconds, megabytes(fetch.peakBytes));
        std::printf("curl + unzip -p:   %6.2f s\n", curl.seconds);
        std::printf("time vs curl + unzip: %.2f (target at most 1.25)\n", fetch.seconds / curl.seconds);
        std::printf("peak memory vs archive + 1.5 x entry (%.1f MB): %.2f (target at most 1.00)\n",
                    megabytes(qint64(memoryBudget)), fetch.peakBytes / memoryBudget);
        std::printf("(each the fastest of three runs; peak memory the highest)\n");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        exitCode = 1;
    }
    if (started)
        QProcess::execute(script, {QStringLiteral("stop"), standin});
    return exitCode;
}

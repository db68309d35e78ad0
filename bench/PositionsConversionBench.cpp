// Converts a generated positions report of 1,000,000 positions over 20,000 distinct ISINs against
// a generated SQLite host database of 50,000 securities, in the plain and the listing form of the
// security lookup, and compares the rate with a bare pugixml parse of the same report.
//
//   positions_conversion_bench [FOLDER]   generates into FOLDER (a temporary folder by default)
//
// Every measurement runs in a child process of its own, so each peak resident memory is its own.
// Each is repeated five times, interleaved, and the fastest run counts: the machines are shared.
// Rates are given by elapsed time and by processor time (user and system) of the measured work.

#include "common/Messenger.h"
#include "conversion/ImportDispatch.h"
#include "GeneratedReports.h"
#include "ProcessMeasures.h"

#include <cstdio>
#include <pugixml.hpp>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <stdexcept>

namespace {

constexpr int kSecurities = 50'000;

void exec(QSqlQuery &query, const QString &statement)
{
    if (!query.exec(statement))
        throw std::runtime_error(query.lastError().text().toStdString());
}

void generateHostDatabase(const QString &path)
{
    QFile::remove(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generate"));
        db.setDatabaseName(path);
        if (!db.open())
            throw std::runtime_error("cannot create the host database");
        QSqlQuery query(db);
        exec(query, "CREATE TABLE SFVP (SFVP integer, ISIN varchar(12), KRT varchar(12), ZPDVP date, "
                    "VornTransaImport varchar(1))");
        exec(query, "CREATE TABLE KTC (SFVP integer, SFTRG integer, DANPRK date)");
        exec(query, "CREATE TABLE TRG (Sftrg integer, SFDRZTRG varchar(2))");
        exec(query, "CREATE TABLE INISET (Kljuc varchar(60), Vrednost varchar(250))");
        exec(query, "INSERT INTO TRG VALUES (1, 'S'), (2, 'X')");
        db.transaction();
        QSqlQuery security(db);
        security.prepare("INSERT INTO SFVP VALUES (?, ?, ?, ?, 'N')");
        QSqlQuery listing(db);
        listing.prepare("INSERT INTO KTC VALUES (?, ?, NULL)");
        for (int i = 0; i < kSecurities; ++i) {
            security.addBindValue(i);
            security.addBindValue(securityIsin(i));
            security.addBindValue(QStringLiteral("K%1").arg(i, 7, 10, QLatin1Char('0')));
            security.addBindValue(i % 10 == 0 ? QVariant(QStringLiteral("2030-12-31")) : QVariant());
            if (!security.exec())
                throw std::runtime_error(security.lastError().text().toStdString());
            // Every security is listed on the "S" market, every third one also elsewhere.
            for (int market : {1, 2}) {
                if (market == 2 && i % 3 != 0)
                    continue;
                listing.addBindValue(i);
                listing.addBindValue(market);
                if (!listing.exec())
                    throw std::runtime_error(listing.lastError().text().toStdString());
            }
        }
        db.commit();
        exec(query, "CREATE INDEX SFVP_ISIN ON SFVP (ISIN)");
        exec(query, "CREATE INDEX KTC_SFVP ON KTC (SFVP)");
        exec(query, "CREATE INDEX TRG_SFTRG ON TRG (Sftrg)");
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generate"));
}

class SilentMessenger : public Messenger
{
public:
    void log(const QString &) override {}
    void debugLog(const QString &) override {}
    void showMessage(const QString &) override {}
};

// Child: one conversion; prints "seconds peakBytes records".
int runConversion(const QString &folder, bool listingForm)
{
    ImportRequest request;
    request.label = QStringLiteral("Stanja");
    request.DatabaseAlias = QStringLiteral("BENCH");
    request.InputFolder = folder;
    request.OutputFolder =
        QDir(folder).filePath(listingForm ? QStringLiteral("listing") : QStringLiteral("plain"));
    request.PapirPoKotacijiSLO = listingForm;
    request.programFolder = folder;
    QDir().mkpath(request.OutputFolder);
    SilentMessenger messenger;
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const ImportOutcome outcome = DoImport(request, messenger);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double processor = cpuSeconds() - processorStart;
    if (outcome.result != ImportResult::MissingSecurities) {
        std::fprintf(stderr, "unexpected result: %s\n", qPrintable(outcome.message.left(200)));
        return 1;
    }
    printMeasurement(seconds, processor);
    return 0;
}

// Child: the bare parse; prints "seconds peakBytes".
int runBareParse(const QString &folder)
{
    const QByteArray path = QDir(folder).filePath(QStringLiteral("MemberAccountPositions.xml")).toLocal8Bit();
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    // The document is released within the time, as the conversion releases its own.
    bool parsed = false;
    {
        pugi::xml_document document;
        parsed = document.load_file(path.constData());
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double processor = cpuSeconds() - processorStart;
    if (!parsed)
        return 1;
    printMeasurement(seconds, processor);
    return 0;
}

double megabytes(qint64 bytes)
{
    return bytes / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == u"--child") {
        qputenv("VORNIMPORT_ALIASES",
                QDir(arguments[3]).filePath(QStringLiteral("aliases.ini")).toLocal8Bit());
        if (arguments[2] == u"parse")
            return runBareParse(arguments[3]);
        return runConversion(arguments[3], arguments[2] == u"listing");
    }

    QTemporaryDir temporary;
    const QString folder = arguments.size() > 1 ? arguments[1] : temporary.path();
    QDir().mkpath(folder);
    const QDir dir(folder);
    try {
        std::printf("Generating %d positions over %d ISINs and %d securities in %s\n", kPositions,
                    kDistinctIsins, kSecurities, qPrintable(folder));
        generateHostDatabase(dir.filePath(QStringLiteral("host.sqlite")));
        generatePositionsReport(dir.filePath(QStringLiteral("MemberAccountPositions.xml")));
        QFile aliases(dir.filePath(QStringLiteral("aliases.ini")));
        aliases.open(QIODevice::WriteOnly | QIODevice::Truncate);
        aliases.write("[BENCH]\r\nDriver=SQLITE\r\nDatabase=host.sqlite\r\n");
        aliases.close();
        QFile types(dir.filePath(QStringLiteral("tipi.ini")));
        types.open(QIODevice::WriteOnly | QIODevice::Truncate);
        types.close();

        const qint64 reportBytes =
            QFileInfo(dir.filePath(QStringLiteral("MemberAccountPositions.xml"))).size();
        std::printf("Report: %.1f MB\n", megabytes(reportBytes));
        const QStringList modes = {QStringLiteral("parse"), QStringLiteral("plain"),
                                   QStringLiteral("listing")};
        QList<QStringList> children;
        for (const QString &mode : modes)
            children << QStringList{QStringLiteral("--child"), mode, folder};
        const QList<Measurement> measurements = measureBest(children, 5);
        const Measurement &parse = measurements[0];
        std::printf("%-26s %10s %12s %10s %14s %14s\n", "", "records/s", "by CPU time", "peak MB",
                    "rate vs parse", "memory/report");
        for (qsizetype i = 0; i < modes.size(); ++i) {
            const Measurement &m = measurements[i];
            const QString name = i == 0 ? QStringLiteral("bare pugixml parse")
                                        : QStringLiteral("conversion, ") + modes[i] + QStringLiteral(" form");
            std::printf("%-26s %10.0f %12.0f %10.1f %7.2f/%-6.2f %14.2f\n", qPrintable(name),
                        kPositions / m.seconds, kPositions / m.processorSeconds, megabytes(m.peakBytes),
                        parse.seconds / m.seconds, parse.processorSeconds / m.processorSeconds,
                        double(m.peakBytes) / reportBytes);
        }
        std::printf("(rate vs parse: by elapsed time / by CPU time; each the fastest of five runs)\n");
        for (const QString &form : {QStringLiteral("plain"), QStringLiteral("listing")}) {
            // Every record is 105 characters and CR LF, or 106 with a negative frozen volume.
            const qint64 size = QFileInfo(dir.filePath(form + QStringLiteral("/stanje.txt"))).size();
            std::printf("%s form: stanje.txt of %lld bytes\n", qPrintable(form), size);
            if (size < qint64(kPositions) * 107 || size > qint64(kPositions) * 108)
                throw std::runtime_error("the output file does not hold one record per position");
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}

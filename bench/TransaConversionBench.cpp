// Converts a generated period transactions report with its settlement instructions against a
// generated SQLite host database, and compares the rate and peak memory with a bare pugixml
// parse of the same two reports.
//
//     transa_conversion_bench [transactions=1000000] [instructions=200000] [isins=20000] [rounds=5]
//                             [folder]
//
// The reports, the host database and the import files live in the folder, or in a temporary
// folder that is removed afterwards. Transactions spread evenly over the 31 days of January 2024 and the
// ISINs. Each measurement runs in a child process of its own, the two in turns, and the fastest of the rounds
// counts: the machines are shared.

#include "conversion/ImportTransa.h"
#include "ProcessMeasures.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <pugixml.hpp>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <stdexcept>

namespace {

const char *const kTypes[] = {"PR", "BU", "SE", "TR", "ZZ"}; // ZZ is missing from the type table

// A small linear congruential generator: the same data on every run.
struct Random
{
    quint64 state = 0x2545F4914F6CDD1DULL;
    quint32 next(quint32 bound)
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(state >> 33) % bound;
    }
};

QByteArray isin(quint32 index)
{
    return QByteArray("SI") + QByteArray::number(index).rightJustified(10, '0');
}

void writeHeader(std::ofstream &out, const char *bodyElement)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">\n"
           "  <Header>\n    <GUID>6f1c2a9e-3b4d-4e5f-8a7b-1c2d3e4f5a6b</GUID>\n"
           "    <TimeStamp>2024-02-01T06:00:00</TimeStamp>\n    <StatusDate>2024-01-31</StatusDate>\n"
           "    <FromDate>2024-01-01</FromDate>\n    <ToDate>2024-01-31</ToDate>\n"
           "  </Header>\n  <Body>\n    <"
        << bodyElement << ">\n";
}

// Writes the report and returns how many distinct pairs of ISIN and date it holds: the
// security lookups that one conversion asks the host database.
qsizetype writeTransactions(const QString &path, long transactions, long instructions, quint32 isins)
{
    QSet<quint64> lookups;
    std::ofstream out(path.toStdString(), std::ios::binary);
    writeHeader(out, "MemberTransactions");
    out << "      <MemberCode>KDDU</MemberCode>\n";
    Random random;
    char record[2048];
    for (long i = 0; i < transactions; ++i) {
        const quint32 day = 1 + random.next(31);
        const quint32 security = random.next(isins);
        lookups.insert(quint64(security) * 32 + day);
        // Four in five have an instruction; a few reference tickets beyond the instructions.
        const quint32 source = 700000 + random.next(quint32(instructions + instructions / 4));
        const long volume = (i % 7 == 3) ? -long(1 + random.next(5000)) : long(1 + random.next(5000));
        const int length = std::snprintf(
            record, sizeof record,
            "      <MemberTransaction>\n"
            "        <MoveSequence>%ld</MoveSequence>\n"
            "        <TransactionType>%s</TransactionType>\n"
            "        <TransactionStatus>%s</TransactionStatus>\n"
            "        <TransactionNumber>%ld</TransactionNumber>\n"
            "        <SourceTransactionNumber>%u</SourceTransactionNumber>\n"
            "        <TransactionDateTime>2024-01-%02uT%02ld:%02ld:%02ld</TransactionDateTime>\n"
            "        <TransactionReference>%sREF-%ld</TransactionReference>\n"
            "        <IsinCode>%s</IsinCode>\n"
            "        <RequestMemberCode>KDDU</RequestMemberCode>\n"
            "        <AccountNumber>%ld</AccountNumber>\n"
            "        <SubaccountNumber>%ld</SubaccountNumber>\n"
            "        <Volume>%ld</Volume>\n"
            "        <TransactionValue>%ld.%02ld</TransactionValue>\n"
            "        <Currency>EUR</Currency>\n"
            "      </MemberTransaction>\n",
            1000000 + i, kTypes[i % 5], i % 20 == 7 ? "CANCELLED" : "CONFIRMED", 5000000 + i, source, day,
            8 + i % 9, i % 60, (i * 7) % 60, i % 3 == 0 ? "X" : "", i, isin(security).constData(),
            100000 + i % 90000, i % 11 == 0 ? 1L : 0L, volume, 10 + i % 100000, i % 100);
        out.write(record, length);
    }
    out << "    </MemberTransactions>\n  </Body>\n</WSResponse>\n";
    return lookups.size();
}

void writeInstructions(const QString &path, long instructions, quint32 isins)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    writeHeader(out, "MemberSettlementInstructions");
    out << "      <SettlementMemberCode>KDDU</SettlementMemberCode>\n";
    Random random;
    char record[2048];
    for (long i = 0; i < instructions; ++i) {
        // Every thousandth ticket repeats the one before it; the first of the two counts.
        const long ticket = 700000 + (i % 1000 == 999 ? i - 1 : i);
        const quint32 day = 1 + random.next(28);
        const int length = std::snprintf(
            record, sizeof record,
            "      <MemberSettlementInstruction>\n"
            "        <TicketNumber>%ld</TicketNumber>\n"
            "        <MicCode>XLJU</MicCode>\n        <TradeStatus>MATCHED</TradeStatus>\n"
            "        <TradeSide>B</TradeSide>\n        <TradingMemberCode>KDDU</TradingMemberCode>\n"
            "        <CounterTradingMemberCode>ILIR</CounterTradingMemberCode>\n"
            "        <OriginalAccountType>H</OriginalAccountType>\n"
            "        <OriginalAccountNumber>%ld</OriginalAccountNumber>\n"
            "        <TradingAccountType>H</TradingAccountType>\n"
            "        <TradingAccountNumber>%ld</TradingAccountNumber>\n"
            "        <ClearingMemberCode>KDDU</ClearingMemberCode>\n"
            "        <SettlementAccountType>H</SettlementAccountType>\n"
            "        <SettlementAccountNumber>%ld</SettlementAccountNumber>\n"
            "        <IsinCode>%s</IsinCode>\n        <Volume>%u</Volume>\n"
            "        <Price>%u.%04u</Price>\n        <Value>%u.00</Value>\n"
            "        <Currency>EUR</Currency>\n        <AccruedInterest>0.00</AccruedInterest>\n"
            "        <TradeDateTime>2024-01-%02uT10:15:00</TradeDateTime>\n"
            "        <TradeReference>T%ld</TradeReference>\n"
            "        <SettlementDate>2024-01-%02u</SettlementDate>\n"
            "        <CancelTime></CancelTime>\n"
            "      </MemberSettlementInstruction>\n",
            ticket, 100000 + i % 90000, 100000 + i % 90000, 100000 + i % 90000,
            isin(random.next(isins)).constData(), 1 + random.next(5000), random.next(500), random.next(10000),
            random.next(1000000), day, ticket, day + 2);
        out.write(record, length);
    }
    out << "    </MemberSettlementInstructions>\n  </Body>\n</WSResponse>\n";
}

// The host database: every ISIN of the report but each hundredth, some with a second row.
void writeHostDatabase(const QString &path, quint32 isins)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(path);
        if (!db.open())
            std::fprintf(stderr, "cannot create the host database\n");
        QSqlQuery query(db);
        query.exec(QStringLiteral("CREATE TABLE INISET (Kljuc varchar(60), Vrednost varchar(250))"));
        query.exec(
            QStringLiteral("CREATE TABLE SFVP (SFVP integer, ISIN varchar(12), KRT varchar(12), ZPDVP date, "
                           "VornTransaImport varchar(1))"));
        query.exec(QStringLiteral("CREATE INDEX SFVP_ISIN ON SFVP (ISIN)"));
        query.exec(QStringLiteral("INSERT INTO INISET VALUES ('TransaUseMoveSequence', 'N')"));
        db.transaction();
        query.prepare(QStringLiteral("INSERT INTO SFVP VALUES (?, ?, ?, ?, 'N')"));
        int key = 0;
        for (quint32 i = 0; i < isins; ++i) {
            if (i % 100 == 99)
                continue;
            const int rows = i % 10 == 0 ? 2 : 1;
            for (int row = 0; row < rows; ++row) {
                query.addBindValue(++key);
                query.addBindValue(QString::fromLatin1(isin(i)));
                query.addBindValue(QStringLiteral("K%1").arg(key));
                query.addBindValue(row == 0 && rows == 2 ? QStringLiteral("2024-01-15") : QString());
                query.exec();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
}

// Child: a bare parse of both reports, released again within the time as the conversion releases
// its documents.
int runBareParse(const QStringList &paths)
{
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    for (const QString &path : paths) {
        pugi::xml_document document;
        if (!document.load_file(path.toLocal8Bit().constData()))
            return 1;
    }
    printMeasurement(timer.nsecsElapsed() / 1e9, cpuSeconds() - processorStart);
    return 0;
}

// The import files written, in name order, as one digest: a change to the converter that should
// leave its output alone can be checked against an earlier build with the same figures.
QString outputDigest(const QString &outputFolder, qint64 &records)
{
    QCryptographicHash digest(QCryptographicHash::Sha256);
    records = 0;
    for (const QFileInfo &info : QDir(outputFolder).entryInfoList(QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("unreadable");
        digest.addData(info.fileName().toUtf8());
        digest.addData(&file);
        records += info.size() / 696; // 694 characters and CR LF
    }
    return QString::fromLatin1(digest.result().toHex().left(16));
}

// Child: one conversion; prints its figures, the records written and the digest of the files.
int runConversion(const QString &folder)
{
    const QString output = QDir(folder).filePath(QStringLiteral("output"));
    QDir(output).removeRecursively();
    QDir().mkpath(output);
    qputenv("VORNIMPORT_ALIASES", QDir(folder).filePath(QStringLiteral("aliases.ini")).toLocal8Bit());
    QString result;
    const double processorStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    {
        TImportTransa converter(folder);
        converter.Alias = QStringLiteral("BENCH");
        converter.InputFolder = QDir(folder).filePath(QStringLiteral("input"));
        converter.OutputFolder = output;
        converter.RunStartTime = QDateTime::currentDateTime().addSecs(-1);
        converter.TargetMemberCode = QStringLiteral("KDDU");
        converter.Execute(result);
        converter.Release();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double processor = cpuSeconds() - processorStart;
    if (!result.contains(QStringLiteral("Manjka VP za ISIN:"))) {
        std::fprintf(stderr, "unexpected result: %s\n", qPrintable(result.left(200)));
        return 1;
    }
    qint64 records = 0;
    const QString digest = outputDigest(output, records);
    printMeasurement(seconds, processor, {QString::number(records), digest});
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == u"--child") {
        const QString folder = args[3];
        if (args[2] == u"parse")
            return runBareParse(
                {QDir(folder).filePath(QStringLiteral("input/MemberTransactions.xml")),
                 QDir(folder).filePath(QStringLiteral("input/MemberSettlementInstructions.xml"))});
        return runConversion(folder);
    }
    const long transactions = args.size() > 1 ? args[1].toLong() : 1000000;
    const long instructions = args.size() > 2 ? args[2].toLong() : 200000;
    const quint32 isins = args.size() > 3 ? args[3].toUInt() : 20000;
    const int rounds = args.size() > 4 ? std::max(1, args[4].toInt()) : 5;

    QTemporaryDir temporary;
    const QDir dir(args.size() > 5 ? args[5] : temporary.path());
    dir.mkpath(QStringLiteral("input"));
    const QString input = dir.filePath(QStringLiteral("input"));
    const QString transactionsPath = input + QStringLiteral("/MemberTransactions.xml");
    const QString instructionsPath = input + QStringLiteral("/MemberSettlementInstructions.xml");
    const qsizetype lookups = writeTransactions(transactionsPath, transactions, instructions, isins);
    writeInstructions(instructionsPath, instructions, isins);
    QFile::remove(dir.filePath(QStringLiteral("host.sqlite")));
    writeHostDatabase(dir.filePath(QStringLiteral("host.sqlite")), isins);
    QFile aliases(dir.filePath(QStringLiteral("aliases.ini")));
    aliases.open(QIODevice::WriteOnly);
    aliases.write("[BENCH]\r\nDriver=SQLITE\r\nDatabase=host.sqlite\r\n");
    aliases.close();
    QFile types(dir.filePath(QStringLiteral("tipi.ini")));
    types.open(QIODevice::WriteOnly);
    types.write("PR,12,1,2,D,D\r\nBU,10,1,2,D,N\r\nSE,11,3,4,N,\r\nTR,13,5,6,D\r\n");
    types.close();

    const double reportBytes = QFileInfo(transactionsPath).size() + QFileInfo(instructionsPath).size();
    std::printf("reports: %ld transactions (%.1f MB), %ld settlement instructions (%.1f MB), %u ISINs\n",
                transactions, QFileInfo(transactionsPath).size() / 1e6, instructions,
                QFileInfo(instructionsPath).size() / 1e6, isins);
    std::printf("distinct pairs of ISIN and date (security lookups): %lld\n", qint64(lookups));
    std::fflush(stdout);

    QList<Measurement> best;
    try {
        best = measureBest({{QStringLiteral("--child"), QStringLiteral("parse"), dir.path()},
                            {QStringLiteral("--child"), QStringLiteral("convert"), dir.path()}},
                           rounds);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const Measurement &bare = best[0];
    const Measurement &converted = best[1];
    const double bareRate = transactions / bare.seconds;
    const double conversionRate = transactions / converted.seconds;
    std::printf("records written: %s, import files digest %s\n", qPrintable(converted.extra.value(0)),
                qPrintable(converted.extra.value(1)));
    std::printf("bare pugixml parse of both reports: %.2f s (%.2f s processor), %.0f transactions/s, "
                "peak %.0f MB\n",
                bare.seconds, bare.processorSeconds, bareRate, bare.peakBytes / 1e6);
    std::printf("conversion: %.2f s (%.2f s processor), %.0f transactions/s\n", converted.seconds,
                converted.processorSeconds, conversionRate);
    const double processorRatio = bare.processorSeconds / converted.processorSeconds;
    std::printf("conversion rate / bare parse rate: %.2f by the clock (target at least 0.50: %s), %.2f by "
                "processor time (target at least 0.70: %s); each the fastest of %d runs in child processes\n",
                conversionRate / bareRate, conversionRate / bareRate >= 0.50 ? "met" : "NOT met",
                processorRatio, processorRatio >= 0.70 ? "met" : "NOT met", rounds);
    std::printf("conversion peak memory: %.0f MB (%.2f times the reports; target at most 3.50)\n",
                converted.peakBytes / 1e6, converted.peakBytes / reportBytes);
    return 0;
}

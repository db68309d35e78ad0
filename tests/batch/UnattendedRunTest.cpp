#include "ArchiveBytes.h"
#include "common/IniFile.h"
#include "common/RunJournal.h"
#include "HostTestDatabase.h"
#include "NginxTestServer.h"
#include "RandomBytes.h"
#include "StandInHost.h"
#include "TempDir.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStringEncoder>
#include <QThread>
#include <sys/stat.h>

namespace {
struct ProgramRun
{
    bool finished = false;
    int exitCode = -1;
    QString errors; // standard error
};

const char *const ReportKeys[] = {"MemberTransactions", "MemberTransactionsCurrentDay",
                                  "MemberT2SSettlementInstructionsHistory",
                                  "MemberT2SBankToCustomerStatement"};

QString requestDate(const QDate &date)
{
    return date.toString("yyyy.MM.dd");
}

// VornImport started by the host as a process of its own, with a request file, on a machine without a
// display, against the depository stand-in: own member OWN7 at /kdd/ with the first client certificate,
// remote member R1 at /remote/ with the second.
class UnattendedRunTest : public testing::Test
{
public:
    UnattendedRunTest() : database(HostEngine::SQLite, "HOSTDB") {}

    void SetUp() override
    {
        program = folder.filePath("VornImport");
        ASSERT_TRUE(QFile::copy(VORN_IMPORT_EXECUTABLE, program));
        writeStandInCertificates(folder, server);
        server.serveDepository();
        VORN_START_NGINX(server);
        database.createHostTables();
        insertStandInMembers(database, server, server.serviceUri());
        input = QDir(folder.filePath("in")).absolutePath();
        QDir().mkpath(input);
        QDir().mkpath(folder.filePath("out"));
        folder.write("VornImport.ini", "[Nastavitve]\nVhodniImenik=" + input.toUtf8() +
                                           "\nIzhodniImenik=" + folder.filePath("out").toUtf8() +
                                           "\nCAFile=" + server.caFile().toUtf8() + "\nPrikazDBNapak=D\n");
    }

    // The request file between the host's own lines, which must survive the run.
    ProgramRun run(const QByteArray &request)
    {
        requestFile = folder.write("request.ini", "; the host's request\r\n[Host]\r\nJob=7\r\n[Request]\r\n" +
                                                      request + "[Trailer]\r\nKeep=1\r\n");
        return runWith(requestFile);
    }

    void start(QProcess &process, const QString &file) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert("XDG_DATA_HOME", folder.filePath("data"));
        environment.insert("XDG_STATE_HOME", folder.filePath("state"));
        process.setProcessEnvironment(environment);
        process.start(program, {"HostDb", "user", "pwd", file});
    }

    ProgramRun runWith(const QString &file)
    {
        QProcess process;
        start(process, file);
        ProgramRun result;
        // A run that waited for an answer would not end by itself.
        result.finished = process.waitForFinished(60000);
        if (!result.finished) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.errors = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    IniFile requestIni() const { return IniFile(requestFile); }
    QString response(const QString &key) const
    {
        return requestIni().readString("Response", key, "<missing>");
    }
    void expectHostLinesKept() const
    {
        const QByteArray text = folder.read("request.ini");
        EXPECT_TRUE(text.startsWith("; the host's request\r\n[Host]\r\nJob=7\r\n[Request]\r\n"))
            << text.data();
        EXPECT_TRUE(text.contains("[Trailer]\r\nKeep=1\r\n")) << text.data();
    }

    NginxTestServer server;
    HostTestDatabase database;
    TempDir folder;
    QString program, input, requestFile;
};
} // namespace

TEST_F(UnattendedRunTest, FullSeriesWithTwoCaseNumbers)
{
    const QDate today = QDate::currentDate();
    const ProgramRun result =
        run(QStringLiteral("RequestId=1\r\nDateFrom=%1\r\nDateTo=%2\r\nMemberCode=OWN7\r\n"
                           "CaseNumberCount=2\r\nCaseNumber1=1001\r\nCaseNumber2=A-2\r\n")
                .arg(today.addDays(-10).toString("d.M.yyyy"), today.addDays(-1).toString("dd.MM.yyyy"))
                .toUtf8());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();

    for (const char *key : ReportKeys)
        EXPECT_EQ(response(key), QDir(input).filePath(QString::fromLatin1(key) + ".xml")) << key;
    for (const QString number : {"1001", "A-2"}) {
        const QString stored = QDir(input).filePath(number + "_MemberCorporateActionPayments.xml");
        EXPECT_EQ(response("MemberCorporateActionPayments_" + number), stored);
        EXPECT_TRUE(QFile::exists(stored));
        EXPECT_TRUE(server.accessLogContains("CorporateActionCaseNumber=" + number + " "));
    }
    EXPECT_FALSE(QFile::exists(QDir(input).filePath("MemberCorporateActionPayments.xml")));
    EXPECT_EQ(response("ErrorMessage"), "<missing>");

    // "Messages" holds the whole log from key 0.
    const IniFile file = requestIni();
    const QStringList keys = file.keys("Messages");
    ASSERT_FALSE(keys.isEmpty());
    for (int i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], QString::number(i));
    QStringList lines;
    for (const QString &key : keys)
        lines << file.readString("Messages", key, "");
    EXPECT_TRUE(lines.contains("MemberCorporateActionPayments CaseNo 1001"));
    EXPECT_TRUE(lines.contains(
        "Summary of Transakcije - MemberTransactions: stored " +
        QDir(input).filePath("MemberTransactions.xml") + " (" +
        QString::number(QFileInfo(QDir(input).filePath("MemberTransactions.xml")).size()) + " bytes)"))
        << lines.join('\n').toStdString();
    // Qt's notes about the offscreen platform stay away from standard error.
    EXPECT_TRUE(result.errors.isEmpty()) << result.errors.toStdString();
    // One journal record per fetch.
    const QList<QJsonObject> records =
        RunJournal(folder.filePath("state/vornimport/journal.jsonl")).lastRecords(100);
    ASSERT_EQ(records.size(), 6);
    for (const QJsonObject &record : records) {
        EXPECT_EQ(record["mode"], "request file");
        EXPECT_EQ(record["httpStatus"], 200);
        EXPECT_EQ(record["succeeded"], true);
    }
    EXPECT_TRUE(lines.contains(
        "GetFile, CaseNumber = A-2, Xml = " + QDir(input).filePath("MemberCorporateActionPayments.xml") +
        ", New = " + QDir(input).filePath("A-2_MemberCorporateActionPayments.xml")));
    expectHostLinesKept();
}

TEST_F(UnattendedRunTest, DateToTodayEndsOnlyTheTransactionsYesterday)
{
    const QDate today = QDate::currentDate();
    const ProgramRun result = run(QStringLiteral("RequestId=1\r\nDateFrom=%1\r\nDateTo=%2\r\n")
                                      .arg(today.addDays(-5).toString("d.M.yyyy"), today.toString("d.M.yyyy"))
                                      .toUtf8());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    const QString from = "FromDate=" + requestDate(today.addDays(-5));
    EXPECT_TRUE(server.accessLogContains("/MemberTransactions?MemberCode=OWN7&" + from +
                                         "&ToDate=" + requestDate(today.addDays(-1)) + " "));
    EXPECT_TRUE(server.accessLogContains("/MemberT2SSettlementInstructionsHistory?MemberCode=OWN7&" + from +
                                         "&ToDate=" + requestDate(today) + " "));
    EXPECT_EQ(response("MemberTransactions"), QDir(input).filePath("MemberTransactions.xml"));
}

TEST_F(UnattendedRunTest, TooLongTransactionsPeriodIsRefusedAndTheRestFetched)
{
    const QDate today = QDate::currentDate();
    const ProgramRun result =
        run(QStringLiteral("RequestId=1\r\nDateFrom=%1\r\nDateTo=%2\r\n")
                .arg(today.addDays(-41).toString("d.M.yyyy"), today.addDays(-1).toString("d.M.yyyy"))
                .toUtf8());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(response("MemberTransactions"), "(MemberTransactions.xml)");
    EXPECT_EQ(
        response("ErrorMessage_MemberTransactions"),
        QString::fromUtf8("Exception: EInvalidPeriod: Neveljavno obdobje. Maksimalno lahko obdobje obsega 31 "
                          "dni, datum do mora biti v preteklosti (včeraj ali manj)! (Transakcije - "
                          "MemberTransactions)"));
    for (const char *key : ReportKeys) {
        if (QString::fromLatin1(key) != "MemberTransactions") {
            EXPECT_EQ(response(key), QDir(input).filePath(QString::fromLatin1(key) + ".xml")) << key;
        }
    }
    EXPECT_FALSE(server.accessLogContains("/MemberTransactions?"));
}

TEST_F(UnattendedRunTest, TestRunOfARemoteMemberRequestsNothing)
{
    const ProgramRun result =
        run("RequestId=1\r\nTest=1\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\nMemberCode=R1\r\n"
            "CaseNumberCount=1\r\nCaseNumber1=55\r\n");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    for (const char *key : ReportKeys)
        EXPECT_EQ(response(key), QDir(input).filePath(QString::fromLatin1(key) + "R1.xml")) << key;
    EXPECT_EQ(response("MemberCorporateActionPayments_55"),
              QDir(input).filePath("55_MemberCorporateActionPaymentsR1-55.xml"));
    EXPECT_FALSE(server.accessLogContains("Members.svc"));
    EXPECT_TRUE(QDir(input).isEmpty());
}

TEST_F(UnattendedRunTest, RequestIdZeroWritesOnlyTheErrorMessage)
{
    const ProgramRun result = run("RequestId=0\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\n");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    EXPECT_EQ(requestIni().keys("Response"), QStringList{"ErrorMessage"});
    EXPECT_EQ(response("ErrorMessage"), "Neveljaven RequestId.");
    EXPECT_TRUE(requestIni().keys("Messages").isEmpty());
    EXPECT_FALSE(server.accessLogContains("Members.svc"));
    expectHostLinesKept();
}

TEST_F(UnattendedRunTest, ADateThatDoesNotParseEndsWithOneAndSaysWhy)
{
    const ProgramRun result = run("RequestId=1\r\nDateFrom=31.2.2024\r\nDateTo=2.3.2024\r\n");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(requestIni().keys("Response"), QStringList{"ErrorMessage"});
    EXPECT_EQ(response("ErrorMessage"), "EConvertError: '31.2.2024' is not a valid date (DateFrom)");
    EXPECT_TRUE(result.errors.contains("Napaka 21: EConvertError>'31.2.2024' is not a valid date"))
        << result.errors.toStdString();
    EXPECT_FALSE(server.accessLogContains("Members.svc"));
    expectHostLinesKept();
}

TEST_F(UnattendedRunTest, ServerDownGivesEveryReportsFailure)
{
    server.stop();
    const ProgramRun result = run("RequestId=1\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\n"
                                  "CaseNumberCount=1\r\nCaseNumber1=7\r\n");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors.toStdString();
    QStringList keys;
    for (const char *key : ReportKeys)
        keys << QString::fromLatin1(key);
    keys << "MemberCorporateActionPayments_7";
    for (const QString &key : keys) {
        EXPECT_EQ(response(key), "(" + key + ".xml)");
        EXPECT_TRUE(response("ErrorMessage_" + key).startsWith("Exception: ")) << key.toStdString();
    }
    EXPECT_FALSE(requestIni().keys("Messages").isEmpty());
}

TEST_F(UnattendedRunTest, ARequestFileThatCannotBeWrittenEndsWithOne)
{
    // A file on a file system that takes no writes.
    if (!QFileInfo("/proc/version").isFile())
        GTEST_SKIP() << "no /proc/version";
    const ProgramRun result = runWith("/proc/version");
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.errors.contains("/proc/version is not a request file")) << result.errors.toStdString();
}

namespace {
const QByteArray TestRequest =
    "[Request]\r\nRequestId=1\r\nTest=1\r\nDateFrom=1.3.2024\r\nDateTo=2.3.2024\r\n";

// A fourth argument of a shape the host or its administrator gave, and what VornImport makes of it.
struct RequestShape
{
    const char *name;
    std::function<QString(UnattendedRunTest &)> arrange; // the fourth argument
    int exitCode;
    const char *error; // a part of standard error
    std::function<void(UnattendedRunTest &)> check;
};

QByteArray utf16(const QString &text)
{
    return "\xFF\xFE" + QByteArray(QStringEncoder(QStringConverter::Utf16LE)(text));
}

class RequestShapeTest : public UnattendedRunTest, public testing::WithParamInterface<RequestShape>
{
};

const RequestShape shapes[] = {
    {"no Request section",
     [](UnattendedRunTest &t) { return t.folder.write("request.ini", "[Host]\r\nJob=7\r\n"); }, 1,
     "request.ini is not a request file: it has no [Request] section",
     [](UnattendedRunTest &t) { EXPECT_EQ(t.folder.read("request.ini"), "[Host]\r\nJob=7\r\n"); }},
    {"link to a request file elsewhere",
     [](UnattendedRunTest &t) {
         QFile::link(t.folder.write("elsewhere/request.ini", TestRequest), t.folder.filePath("request.ini"));
         return t.folder.filePath("request.ini");
     },
     0, "",
     [](UnattendedRunTest &t) {
         EXPECT_EQ(t.folder.read("elsewhere/request.ini"), TestRequest);
         EXPECT_FALSE(QFileInfo(t.folder.filePath("request.ini")).isSymLink());
         EXPECT_TRUE(
             t.folder.read("request.ini").startsWith(TestRequest + "[Response]\r\nMemberTransactions="));
     }},
    {"folder",
     [](UnattendedRunTest &t) {
         QDir().mkpath(t.folder.filePath("request.ini"));
         return t.folder.filePath("request.ini");
     },
     1, "request.ini is not a regular file but a folder; nothing was run", nullptr},
    {"FIFO",
     [](UnattendedRunTest &t) {
         ::mkfifo(QFile::encodeName(t.folder.filePath("request.ini")).constData(), 0600);
         return t.folder.filePath("request.ini");
     },
     1, "request.ini is not a regular file but a FIFO, socket or device", nullptr},
    {"mistyped path without a display", [](UnattendedRunTest &t) { return t.folder.filePath("reqest.ini"); },
     2, "reqest.ini names no existing file, so it was taken as a file suffix and no request file was run",
     nullptr},
    {"UTF-16 request file",
     [](UnattendedRunTest &t) {
         return t.folder.write("request.ini", utf16(QString::fromLatin1(TestRequest)));
     },
     0, "",
     [](UnattendedRunTest &t) {
         const QByteArray bytes = t.folder.read("request.ini");
         const QString text = QStringDecoder(QStringConverter::Utf16LE)(bytes.mid(2));
         // Every byte is UTF-16 of the file's byte order: the text encodes back to the same bytes.
         EXPECT_EQ(utf16(text), bytes);
         EXPECT_TRUE(text.startsWith(QString::fromLatin1(TestRequest) + "[Response]\r\nMemberTransactions=" +
                                     QDir(t.input).filePath("MemberTransactions.xml") + "\r\n"))
             << text.toStdString();
         EXPECT_EQ(IniFile(t.folder.filePath("request.ini")).encoding(), IniFile::Encoding::Utf16LE);
     }},
};
} // namespace

TEST_P(RequestShapeTest, IsAnsweredOrRefusedAsItIs)
{
    const ProgramRun result = runWith(GetParam().arrange(*this));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.errors.toStdString();
    EXPECT_TRUE(result.errors.contains(QLatin1String(GetParam().error))) << result.errors.toStdString();
    if (GetParam().check)
        GetParam().check(*this);
}

INSTANTIATE_TEST_SUITE_P(Shapes, RequestShapeTest, testing::ValuesIn(shapes),
                         [](const testing::TestParamInfo<RequestShape> &info) {
                             std::string name = info.param.name;
                             std::replace_if(
                                 name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

namespace {
// The first report arrives slowly, so that the host can write into the request file meanwhile.
class HostWritesDuringTheRunTest : public UnattendedRunTest
{
public:
    void SetUp() override
    {
        const QByteArray xml = "<?xml version=\"1.0\"?><!--" + randomBytes(16000, 7).toBase64() + "--><r/>";
        server.addDocument("/kdd/Members.svc/MemberTransactions",
                           ArchiveBytes::zip({ArchiveBytes::deflated("MemberTransactions.xml", xml)}),
                           "MemberTransactions.zip", 5000);
        UnattendedRunTest::SetUp();
    }
};
} // namespace

TEST_F(HostWritesDuringTheRunTest, ASectionTheHostAddsWhileTheFirstReportIsFetchedStays)
{
    const QDate today = QDate::currentDate();
    requestFile =
        folder.write("request.ini",
                     QStringLiteral("[Request]\r\nRequestId=1\r\nDateFrom=%1\r\nDateTo=%2\r\n"
                                    "[Response]\r\nOld=1\r\n")
                         .arg(today.addDays(-3).toString("d.M.yyyy"), today.addDays(-1).toString("d.M.yyyy"))
                         .toUtf8());
    QProcess process;
    start(process, requestFile);
    // The run erases the old answers before it fetches; then the host adds its section by rewriting the
    // file. It replaces the file whole: truncated in place, the file could be read empty by the run, which
    // reads its request right after the erasure.
    QDeadlineTimer deadline(30000);
    while (folder.read("request.ini").contains("Old=1") && !deadline.hasExpired())
        QThread::msleep(5);
    QSaveFile hostWrite(requestFile);
    ASSERT_TRUE(hostWrite.open(QIODevice::WriteOnly));
    hostWrite.write(folder.read("request.ini") + "[Host]\r\nAdded=during the fetch\r\n");
    ASSERT_TRUE(hostWrite.commit());
    EXPECT_FALSE(process.waitForFinished(0)); // the first report is still on its way
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(requestIni().readString("Host", "Added", "<lost>"), "during the fetch");
    EXPECT_EQ(response("MemberTransactions"), QDir(input).filePath("MemberTransactions.xml"));
    EXPECT_EQ(response("MemberT2SBankToCustomerStatement"),
              QDir(input).filePath("MemberT2SBankToCustomerStatement.xml"));
}

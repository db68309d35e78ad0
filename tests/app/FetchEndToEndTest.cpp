#include "ArchiveBytes.h"
#include "common/IniFile.h"
#include "common/RunJournal.h"
#include "HostTestDatabase.h"
#include "NginxTestServer.h"
#include "RandomBytes.h"
#include "ScopedClock.h"
#include "StandInHost.h"
#include "WindowTestProgram.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

namespace {

const QString Positions = QStringLiteral("Stanja - MemberAccountPositions");

// The window as the host starts it, against the depository stand-in: the configured endpoint is the
// member service at /kdd/, own member OWN7 with the first client certificate; remote member R1 at /remote/
// with the second. Further remote members reach answers of the stand-in that tests add, each at its
// own service path.
class FetchEndToEndTest : public testing::Test
{
protected:
    // Remote members whose service path serves one prepared answer for the positions report.
    struct Prepared
    {
        const char *member;
        QByteArray body;
        QString announcedFileName;
        qint64 bytesPerSecond = 0;
    };

    FetchEndToEndTest() : clock(QDate(2024, 4, 20)), database(HostEngine::SQLite, "HOSTDB") {}

    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", program.folder.filePath("data").toUtf8());
        writeStandInCertificates(program.folder, server);

        server.serveDepository();
        for (const Prepared &p : prepared())
            server.addDocument("/" + QString::fromLatin1(p.member) + "/Members.svc/MemberAccountPositions",
                               p.body, p.announcedFileName, p.bytesPerSecond);
        VORN_START_NGINX(server);

        database.createHostTables();
        const QString own = QString::fromLatin1(NginxTestServer::FirstClientKeyId.toHex());
        // The own endpoint is given without its closing "/".
        insertStandInMembers(database, server, server.serviceUri().chopped(1));
        database.exec("INSERT INTO SFVP VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N')");
        for (const Prepared &p : prepared())
            database.exec(
                QStringLiteral("INSERT INTO VORN_REMOTECLAN VALUES ('%1', 'https', '%2', '%3', '', 'MY')")
                    .arg(QString::fromLatin1(p.member), server.serviceUri(p.member), own));
        // A remote member whose certificate is not in the store.
        database.exec(
            QStringLiteral("INSERT INTO VORN_REMOTECLAN VALUES ('NOCERT', 'https', '%1', 'FFFF', '', 'MY')")
                .arg(server.serviceUri("nocert")));
        // The service path of a member whose depository does not know the operations.
        database.exec(QStringLiteral("INSERT INTO VORN_REMOTECLAN VALUES ('OLD', 'https', "
                                     "'127.0.0.1:%1/kdd/Old.svc/', '%2', '', 'MY')")
                          .arg(server.port())
                          .arg(own));
        program.folder.write("tipi.ini", "PR,1,1,1\r\n");
        QDir().mkpath(program.folder.filePath("in"));
        QDir().mkpath(program.folder.filePath("out"));
    }

    static QList<Prepared> prepared()
    {
        return {
            {"notzip", "this is no zip archive", "MemberAccountPositions.zip"},
            {"evilentry",
             ArchiveBytes::zip(
                 {ArchiveBytes::deflated("MemberAccountPositions.xml", "<?xml version=\"1.0\"?><a/>"),
                  ArchiveBytes::deflated("../evil.xml", "<?xml version=\"1.0\"?><a/>")}),
             "MemberAccountPositions.zip"},
            {"evilname",
             ArchiveBytes::zip(
                 {ArchiveBytes::deflated("MemberAccountPositions.xml", "<?xml version=\"1.0\"?><a/>")}),
             "../../MemberAccountPositions.zip"},
            // Slow as a bad line: about five seconds for the whole archive.
            {"slow", randomBytes(200 * 1024, 3), "MemberAccountPositions.zip", 40 * 1024},
        };
    }

    TestWindow &start(const QByteArray &settings = "Debug=D",
                      QStringList arguments = {"HostDb", "user", "pwd"})
    {
        QByteArray contents = "[Nastavitve]\n" + settings;
        if (!settings.contains("CAFile="))
            contents += "\nCAFile=" + server.caFile().toUtf8();
        if (!settings.contains("VhodniImenik="))
            contents += "\nVhodniImenik=" + program.folder.filePath("in").toUtf8();
        contents += "\nIzhodniImenik=" + program.folder.filePath("out").toUtf8();
        program.writeSettings(contents + "\n");
        window = program.window(arguments);
        window->StartUp();
        return *window;
    }

    template<typename Control> Control *control(const char *name)
    {
        return childControl<Control>(*window, name);
    }

    void pickType(const QString &entry) { pickReportType(*window, entry); }

    void clickGet() { control<QPushButton>("btnGet")->click(); }

    QStringList logLines() { return windowLogLines(*window); }

    QStringList folderFiles(const char *name) const
    {
        return QDir(program.folder.filePath(name)).entryList(QDir::Files | QDir::Hidden);
    }

    void expectSelectionEnabled()
    {
        EXPECT_TRUE(control<QComboBox>("cbTypeXML")->isEnabled());
        EXPECT_TRUE(control<QComboBox>("cbRemoteClan")->isEnabled());
        EXPECT_TRUE(control<QPushButton>("btnGet")->isEnabled());
    }

    QString currentPage() { return control<QTabWidget>("pgctrlMain")->currentWidget()->objectName(); }

    ScopedClock clock;
    HostTestDatabase database;
    WindowTestProgram program;
    NginxTestServer server;
    std::unique_ptr<TestWindow> window;
};

// The index of the first line from `from` on that starts with prefix; -1 when none.
qsizetype lineStarting(const QStringList &lines, const QString &prefix, qsizetype from = 0)
{
    for (qsizetype i = from; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}

} // namespace

TEST_F(FetchEndToEndTest, PositionsFromTheButtonToStanjeTxt)
{
    // A read-only report of an earlier fetch is replaced.
    const QString stored = program.folder.write("in/MemberAccountPositions.xml", "old");
    ASSERT_TRUE(QFile::setPermissions(stored, QFile::ReadOwner));
    start();
    pickType(Positions);
    clickGet();

    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
    const QStringList lines = logLines();
    const QString url = server.url("/kdd/Members.svc/MemberAccountPositions?MemberCode=OWN7");
    // The fetch's lines in order, from the certificate selection to the end of the conversion.
    qsizetype at = 0;
    for (const QString &prefix :
         {QStringLiteral("VORN_IMP_INI>"), QStringLiteral("Certificate loaded"), "Request:" + url,
          QStringLiteral("--- header begin ---"),
          QStringLiteral("Content-Disposition: attachment; "
                         "filename=\"MemberAccountPositions.zip\""),
          QStringLiteral("--- header end ---"), QStringLiteral("--- document begin ---"),
          QStringLiteral("--- document end ---"), QStringLiteral("--- zip catalog start ---"),
          QStringLiteral("MemberAccountPositions.xml"), QStringLiteral("--- zip catalog end ---"),
          QStringLiteral("--- zip content start ---"), QStringLiteral("doImport: MemberAccountPositions.zip"),
          QStringLiteral("DoImport START "), QStringLiteral("Import stanje"),
          QStringLiteral("DoImport finished ")}) {
        const qsizetype found = lineStarting(lines, prefix, at);
        ASSERT_GE(found, 0) << "missing in order: " << prefix.toStdString() << "\n"
                            << lines.join('\n').toStdString();
        at = found + 1;
    }
    EXPECT_EQ(lines.first(), "VORN_IMP_INI>"); // the log was cleared for the operator's fetch
    EXPECT_TRUE(server.accessLogContains(
        "\"GET /kdd/Members.svc/MemberAccountPositions?MemberCode=OWN7 HTTP/1.0\" 200"));
    EXPECT_TRUE(server.accessLogContains("CN=Clan 1001"));

    EXPECT_EQ(folderFiles("in"), QStringList{"MemberAccountPositions.xml"});
    QFile sample(QStringLiteral(VORN_SAMPLES) + "/MemberAccountPositions.xml");
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    EXPECT_EQ(program.folder.read("in/MemberAccountPositions.xml"), sample.readAll());
    EXPECT_EQ(folderFiles("out"), QStringList{"stanje.txt"});
    EXPECT_EQ(currentPage(), "tbshtMessages");
    expectSelectionEnabled();
}

TEST_F(FetchEndToEndTest, RemoteMemberUsesItsEndpointCertificateAndCode)
{
    TestWindow &w = start("Debug=N");
    pickType(Positions);
    w.setRemoteMemberText("R1");
    clickGet();
    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
    EXPECT_TRUE(server.accessLogContains(
        "\"GET /remote/Members.svc/MemberAccountPositions?MemberCode=R1 HTTP/1.0\" 200 "));
    EXPECT_TRUE(server.accessLogContains("CN=Clan 2002"));
    EXPECT_EQ(folderFiles("out"), QStringList{"stanje_R1.txt"});
    expectSelectionEnabled();
}

TEST_F(FetchEndToEndTest, RefusedPeriodsSendNoRequest)
{
    struct Case
    {
        QString entry;
        QDate from;
        QDate to;
        const char *days;
    };
    const Case cases[] = {
        {"Razporeditve - MemberAllocations", QDate(2024, 4, 15), QDate(2024, 4, 20), "10"},
        {"Transakcije - MemberTransactions", QDate(2024, 3, 1), QDate(2024, 4, 1), "31"},
    };
    TestWindow &w = start();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry.toStdString());
        program.boxes.messages.clear();
        pickType(c.entry);
        w.setPeriod(c.from, c.to);
        clickGet();
        ASSERT_EQ(program.boxes.messages.size(), 1);
        EXPECT_TRUE(program.boxes.messages[0].startsWith(
            QString::fromUtf8("Neveljavno obdobje. Maksimalno lahko obdobje obsega ") + c.days + " dni"));
        expectSelectionEnabled();
    }
    // A request that is sent afterwards is the first the server sees.
    pickType(Positions);
    clickGet();
    ASSERT_TRUE(server.accessLogContains("MemberAccountPositions"));
    EXPECT_FALSE(server.accessLogContains("MemberAllocations"));
    EXPECT_FALSE(server.accessLogContains("MemberTransactions"));
}

TEST_F(FetchEndToEndTest, UnknownOperationShowsTheErrorPageAndStoresNothing)
{
    TestWindow &w = start();
    pickType(Positions);
    w.setRemoteMemberText("OLD");
    clickGet();
    EXPECT_TRUE(program.boxes.messages.isEmpty());
    EXPECT_EQ(currentPage(), "TabSheet1");
    EXPECT_TRUE(control<QTextBrowser>("wbVornError")->toPlainText().contains("Request Error"));
    EXPECT_TRUE(
        server.accessLogContains("\"GET /kdd/Old.svc/MemberAccountPositions?MemberCode=OLD HTTP/1.0\" 404"));
    EXPECT_TRUE(folderFiles("in").isEmpty());
    EXPECT_TRUE(folderFiles("out").isEmpty());
    expectSelectionEnabled();

    // The next fetch blanks the error page and brings the log to front.
    w.setRemoteMemberText("");
    clickGet();
    EXPECT_EQ(currentPage(), "tbshtMessages");
    EXPECT_TRUE(control<QTextBrowser>("wbVornError")->toPlainText().isEmpty());
}

TEST_F(FetchEndToEndTest, BadAnswersStoreNothing)
{
    struct Case
    {
        const char *member;
        QString box; // empty: no box
    };
    const Case cases[] = {
        {"notzip", ""},
        {"evilentry",
         QString::fromUtf8("Napaka: EUnsafeFileName, sporočilo: The archive entry \"../evil.xml\"")},
        {"evilname", QString::fromUtf8("Napaka: EUnsafeFileName, sporočilo: The announced file name "
                                       "\"../../MemberAccountPositions.zip\"")},
    };
    TestWindow &w = start();
    const QStringList before = QDir(program.folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.member);
        program.boxes.messages.clear();
        pickType(Positions);
        w.setRemoteMemberText(c.member);
        clickGet();
        if (c.box.isEmpty()) {
            EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
        } else {
            ASSERT_EQ(program.boxes.messages.size(), 1);
            EXPECT_TRUE(program.boxes.messages[0].startsWith(c.box))
                << program.boxes.messages[0].toStdString();
        }
        EXPECT_TRUE(folderFiles("in").isEmpty());
        EXPECT_TRUE(folderFiles("out").isEmpty());
        EXPECT_EQ(QDir(program.folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        EXPECT_FALSE(QFileInfo::exists(QDir(program.folder.path()).filePath("../evil.xml")));
        EXPECT_EQ(lineStarting(logLines(), "DoImport START "), -1);
        expectSelectionEnabled();
    }
}

TEST_F(FetchEndToEndTest, TransportFailuresAreShownToTheOperator)
{
    const auto expectTransportErrorBox = [this] {
        ASSERT_EQ(program.boxes.messages.size(), 1);
        EXPECT_TRUE(
            program.boxes.messages[0].startsWith(QString::fromUtf8("Napaka: ETransportError, sporočilo: ")))
            << program.boxes.messages[0].toStdString();
        EXPECT_TRUE(logLines().contains(program.boxes.messages[0])); // and it stays in the log
    };
    // Untrusted: the settings name no authority that signed the stand-in's certificate.
    start("Debug=N\nCAFile=" +
          program.folder.write("other-ca.pem", TestPki::pem(TestPki("Other").authority(), false)).toUtf8());
    pickType(Positions);
    clickGet();
    expectTransportErrorBox();
    expectSelectionEnabled();

    // Down: nothing listens any more.
    program.boxes.messages.clear();
    start("Debug=N");
    server.stop();
    pickType(Positions);
    clickGet();
    expectTransportErrorBox();
    EXPECT_TRUE(folderFiles("in").isEmpty());
    expectSelectionEnabled();
}

TEST_F(FetchEndToEndTest, UnattendedFailureReachesTheCallerAndTheLogKeepsEveryFetch)
{
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start("Debug=N", {"HostDb", "user", "pwd", request});
    w.setReportTypeText(Positions);
    w.DoGetXML();
    EXPECT_EQ(w.fetchedXmlPath(), program.folder.filePath("in") + "/MemberAccountPositions.xml");
    EXPECT_TRUE(QFileInfo::exists(w.fetchedXmlPath()));
    EXPECT_TRUE(folderFiles("out").isEmpty()); // nothing converted

    // A storing failure is a message box, which in an unattended run goes to the log.
    w.setRemoteMemberText("evilentry");
    w.DoGetXML();
    const QString refused = QString::fromUtf8("Napaka: EUnsafeFileName, sporočilo: The archive entry");
    EXPECT_GE(lineStarting(logLines(), refused), 0) << logLines().join('\n').toStdString();

    w.setRemoteMemberText("");
    server.stop();
    EXPECT_THROW(w.DoGetXML(), ETransportError);
    EXPECT_GE(lineStarting(logLines(), refused), 0); // not cleared
    expectSelectionEnabled();
}

TEST_F(FetchEndToEndTest, TextWithoutOperationFetchesNothing)
{
    TestWindow &w = start();
    w.setReportTypeText("Nothing here");
    clickGet();
    EXPECT_TRUE(logLines().contains("Nothing to Get/Import!")) << logLines().join('\n').toStdString();
    EXPECT_TRUE(program.boxes.messages.isEmpty());
    expectSelectionEnabled();
}

// A fetch that would store where it must not, or present a certificate the configuration did not choose,
// fails before any request is sent.
TEST_F(FetchEndToEndTest, FetchesThatMustNotStartSendNoRequest)
{
    const struct
    {
        const char *name;
        QByteArray settings;
        bool ownFetchFirst;
        QString member;
        QString box;
        QString path;
    } cases[] = {
        {"empty input folder", "Debug=N\nVhodniImenik=", false, "",
         "Napaka: EFOpenError, sporočilo: No input folder is set (VhodniImenik", "/kdd/"},
        {"remote member without certificate after an own-member fetch", "Debug=N", true, "NOCERT",
         "Napaka: ECertificateNotFound, sporočilo: No usable certificate with the subject key identifier "
         "FFFF "
         "is in the certificate store \"MY\" of member NOCERT",
         "/nocert/"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestWindow &w = start(c.settings);
        pickType(Positions);
        if (c.ownFetchFirst)
            clickGet();
        program.boxes.messages.clear();
        w.setRemoteMemberText(c.member);
        clickGet();
        ASSERT_EQ(program.boxes.messages.size(), 1);
        EXPECT_TRUE(program.boxes.messages[0].startsWith(c.box)) << program.boxes.messages[0].toStdString();
        EXPECT_FALSE(server.accessLogContains(c.path + "Members.svc/MemberAccountPositions?MemberCode=" +
                                              (c.member.isEmpty() ? "OWN7" : c.member)));
        EXPECT_FALSE(QFileInfo::exists("/MemberAccountPositions.xml"));
        expectSelectionEnabled();
    }
    // Unattended, the failure reaches the request file's run.
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start("Debug=N\nVhodniImenik=", {"HostDb", "user", "pwd", request});
    w.setReportTypeText(Positions);
    EXPECT_THROW(w.DoGetXML(), EFOpenError);
}

namespace {
// The checksums of the files a journal record names compared with the files on disk.
void expectFilesAsOnDisk(const QJsonArray &files)
{
    for (const QJsonValue &value : files) {
        const QJsonObject file = value.toObject();
        QFile disk(file["path"].toString());
        ASSERT_TRUE(disk.open(QIODevice::ReadOnly)) << disk.fileName().toStdString();
        const QByteArray bytes = disk.readAll();
        EXPECT_EQ(file["size"].toInteger(), bytes.size());
        EXPECT_EQ(file["sha256"].toString(),
                  QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }
}
} // namespace

TEST_F(FetchEndToEndTest, FetchAndConversionAreLoggedSummedUpAndJournaled)
{
    const QString journal = program.folder.filePath("journal.jsonl");
    start("Debug=N\nDnevnik=" + journal.toUtf8());
    pickType(Positions);
    clickGet();

    const QStringList lines = logLines();
    const QString host = "127.0.0.1:" + QString::number(server.port());
    EXPECT_EQ(lines.first(), "Fetching " + Positions + " for OWN7 from " + host +
                                 QString::fromUtf8(" (19.4.2024–19.4.2024)"));
    const QString in = program.folder.filePath("in/MemberAccountPositions.xml");
    const QByteArray stanje = program.folder.read("out/stanje.txt");
    // The stand-in's host knows one of the report's five securities.
    const QString summary = QStringLiteral("Summary of %1: stored %2 (%3 bytes); wrote %4 (%5 records); 4 "
                                           "securities not found in the host database")
                                .arg(Positions, in)
                                .arg(QFileInfo(in).size())
                                .arg(program.folder.filePath("out/stanje.txt"))
                                .arg(stanje.count("\r\n"));
    EXPECT_EQ(lines.last(), summary) << lines.join('\n').toStdString();

    const QList<QJsonObject> records = RunJournal(journal).lastRecords(100);
    ASSERT_EQ(records.size(), 1);
    const QJsonObject &record = records[0];
    EXPECT_EQ(record["program"], "VornImport");
    EXPECT_EQ(record["mode"], "window");
    EXPECT_EQ(record["action"], "fetch and convert");
    EXPECT_EQ(record["member"], "OWN7");
    EXPECT_EQ(record["dateFrom"], "2024-04-19");
    EXPECT_EQ(record["httpStatus"], 200);
    EXPECT_EQ(record["succeeded"], false);
    EXPECT_EQ(record["missingSecurities"], 4);
    EXPECT_EQ(record["bytesReceived"].toInteger(),
              server.depositoryArchive("MemberAccountPositions.zip").size());
    EXPECT_EQ(record["written"].toArray()[0].toObject()["records"].toInteger(), stanje.count("\r\n"));
    expectFilesAsOnDisk(record["stored"].toArray());
    expectFilesAsOnDisk(record["written"].toArray());
}

TEST_F(FetchEndToEndTest, ErrorPageCauseReachesTheLogTheJournalAndTheRequestFile)
{
    const QString journal = program.folder.filePath("journal.jsonl");
    const QString cause =
        "The depository sent no report (HTTP/1.1 404 Not Found): Request Error The server "
        "encountered an error processing the request. The operation is not known to the "
        "service.; see the page \"Vorn Error\", check the member, the period and the client "
        "certificate.";
    TestWindow &w = start("Debug=N\nDnevnik=" + journal.toUtf8());
    pickType(Positions);
    w.setRemoteMemberText("OLD");
    clickGet();
    EXPECT_TRUE(logLines().contains(cause)) << logLines().join('\n').toStdString();
    const QJsonObject record = RunJournal(journal).lastRecords(1).value(0);
    EXPECT_EQ(record["httpStatus"], 404);
    EXPECT_EQ(record["succeeded"], false);

    // The host's unattended run: the window runs the request file's series itself.
    const QString request = program.folder.write(
        "request.ini", "[Request]\nRequestId=1\nDateFrom=1.4.2024\nDateTo=2.4.2024\nMemberCode=OLD\n");
    // The settings of the operator's window above.
    TfrmMain unattended(ProgramStart{program.programFilePath, {"HostDb", "user", "pwd", request}},
                        &program.boxes);
    unattended.StartUp();
    const IniFile file(request);
    QStringList messages;
    for (const QString &key : file.keys("Messages"))
        messages << file.readString("Messages", key, "");
    EXPECT_GE(messages.count(cause), 4) << messages.join('\n').toStdString();
    EXPECT_EQ(RunJournal(journal).lastRecords(1).value(0)["mode"], "request file");
}

TEST_F(FetchEndToEndTest, OperatorCancelsASlowFetchAndNothingIsStored)
{
    TestWindow &w = start("Debug=N");
    pickType(Positions);
    w.setRemoteMemberText("slow");
    QStringList statuses;
    bool cancelShown = false;
    const auto handle = w.httpsClient().onData;
    w.httpsClient().onData = [&](const char *buffer, qsizetype size) {
        handle(buffer, size);
        cancelShown = control<QPushButton>("btnCancel")->isVisible();
        statuses << control<QLabel>("lTransfer")->text();
        if (statuses.size() == 3)
            QTest::keyClick(control<QPlainTextEdit>("mmMessages"), Qt::Key_Escape);
    };
    clickGet();
    EXPECT_TRUE(cancelShown);
    ASSERT_GE(statuses.size(), 3);
    // The status shows the bytes and the rate while the answer arrives.
    const QRegularExpression progress("^Received [1-9]\\d* of \\d+ bytes, [\\d.]+ KB/s$");
    EXPECT_TRUE(std::any_of(statuses.cbegin(), statuses.cend(), [&](const QString &status) {
        return progress.match(status).hasMatch();
    })) << statuses.join('\n').toStdString();
    EXPECT_FALSE(control<QPushButton>("btnCancel")->isVisible());
    EXPECT_GE(lineStarting(logLines(), "The fetch of " + Positions + " was cancelled by the operator"), 0)
        << logLines().join('\n').toStdString();
    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
    EXPECT_TRUE(folderFiles("in").isEmpty());
    expectSelectionEnabled();
}

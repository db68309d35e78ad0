#include "common/RunJournal.h"
#include "HostTestDatabase.h"
#include "NginxTestServer.h"
#include "TempDir.h"
#include "TestPki.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <unistd.h>

namespace {

struct ProgramRun
{
    int exitCode = -1;
    QStringList lines; // standard output
    QString errors;
};

// Runs a program as the host or an administrator does on a server: without a display.
ProgramRun runProgram(const QString &program, const QStringList &arguments,
                      const QStringList &wrapper = QStringList(), const QString &dataHome = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (!dataHome.isEmpty())
        environment.insert("XDG_DATA_HOME", dataHome);
    QProcess process;
    process.setProcessEnvironment(environment);
    if (wrapper.isEmpty())
        process.start(program, arguments);
    else
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{program} + arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST(ConsoleCommands, HelpAndVersionOfBothPrograms)
{
    const struct
    {
        QString program;
        QString name;
        QString usage; // the first line of --help
    } programs[] = {
        {VORN_IMPORT_EXECUTABLE, "VornImport",
         "Usage: VornImport ALIAS USER PASSWORD [REQUEST_FILE | FILE_SUFFIX]"},
        {VORN_CONVERT_EXECUTABLE, "VornConvert",
         "Usage: VornConvert ALIAS USER PASSWORD --type TEXT [--member CODE] [--suffix TEXT]"},
    };
    for (const auto &p : programs) {
        SCOPED_TRACE(p.name.toStdString());
        const ProgramRun version = runProgram(p.program, {"--version"});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.lines, QStringList{p.name + " " + VORN_VERSION});

        const ProgramRun help = runProgram(p.program, {"--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.lines.value(0).toStdString(), p.usage.toStdString());
        EXPECT_TRUE(help.lines.contains("Exit codes:"));
        EXPECT_TRUE(help.lines.contains("  --version  show the program's version") ||
                    help.lines.contains("  --version        show the program's version"));
    }
    const ProgramRun wrong = runProgram(VORN_IMPORT_EXECUTABLE, {"--check", "ALIAS"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.errors.trimmed(), "Usage: VornImport --check ALIAS USER PASSWORD [MEMBER]");
}

namespace {

// VornImport copied into a folder with its settings, type table, folders and a host database whose
// endpoint is the depository stand-in; the member's certificate in a store of the user's data folder.
class CheckCommandTest : public testing::Test
{
protected:
    void SetUp() override
    {
        VORN_START_NGINX(server);
        program = folder.filePath("VornImport");
        ASSERT_TRUE(QFile::copy(VORN_IMPORT_EXECUTABLE, program));
        QDir().mkpath(folder.filePath("input"));
        QDir().mkpath(folder.filePath("output"));
        folder.write("tipi.ini", "BT,10,1,2,N,N\n");
        folder.write("VornImport.ini",
                     QStringLiteral("[Nastavitve]\nVhodniImenik=%1\nIzhodniImenik=%2\nCAFile=%3\n")
                         .arg(folder.filePath("input"), folder.filePath("output"), server.caFile())
                         .toUtf8());
        database.createHostTables();
        database.exec(
            QStringLiteral("INSERT INTO VORN_IMP_INI VALUES ('VORNPROTOCOL', 'https');"
                           "INSERT INTO VORN_IMP_INI VALUES ('VORNURI', '127.0.0.1:%1/ws/Members.svc');"
                           "INSERT INTO VORN_IMP_INI VALUES ('VORNMEMBERCODE', '1001');"
                           "INSERT INTO VORN_IMP_INI VALUES ('CERTIFICATESUBJECTKEYID', '%2');"
                           "INSERT INTO VORN_IMP_INI VALUES ('CERTIFICATESTORAGE', 'Osebno');"
                           "INSERT INTO INISET VALUES ('OZNAKACLANA', 'KDD7')")
                .arg(server.port())
                .arg(QString::fromLatin1(NginxTestServer::FirstClientKeyId.toHex())));
        const QString certificate =
            dataHome.write("VornImport/certstores/Osebno/1001.pem", TestPki::pem(server.firstClient(), true));
        QFile::setPermissions(certificate, QFile::ReadOwner | QFile::WriteOwner);
    }

    NginxTestServer server;
    TempDir folder;
    TempDir dataHome;
    HostTestDatabase database{HostEngine::SQLite, "DEMO"};
    QString program;
};

} // namespace

TEST_F(CheckCommandTest, DemoSetupPassesWithoutADisplay)
{
    const ProgramRun run =
        runProgram(program, {"--check", "demo", "vorn", "Skrito-123"}, {}, dataHome.path());
    EXPECT_EQ(run.exitCode, 0) << run.lines.join('\n').toStdString() << run.errors.toStdString();
    EXPECT_EQ(run.lines.size(), 14);
    for (const QString &line : run.lines)
        EXPECT_TRUE(line.startsWith("OK   ")) << line.toStdString();
    EXPECT_EQ(run.lines.value(0).toStdString(),
              "OK   Settings file " + folder.filePath("VornImport.ini").toStdString());
    EXPECT_TRUE(run.lines.value(13).startsWith("OK   The depository https://127.0.0.1:"))
        << run.lines.value(13).toStdString();
    EXPECT_FALSE(run.lines.join('\n').contains("Skrito-123"));
}

TEST_F(CheckCommandTest, OutputFolderThatTheUserCannotWriteFails)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the check must run as another user, which needs root to start it";
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv is not installed";
    // nobody may read the program and its folder and write the input folder, but not the output folder.
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    for (const QString &path : {folder.path(), dataHome.path()})
        QFile::setPermissions(path, open);
    QFile::setPermissions(folder.filePath("input"), open | QFile::WriteGroup | QFile::WriteOther);
    QFile::setPermissions(folder.filePath("output"), open);

    const ProgramRun run =
        runProgram(program, {"--check", "DEMO", "vorn", "x"},
                   {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"}, dataHome.path());
    EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
    EXPECT_EQ(run.lines.value(1).toStdString(), "OK   Input folder (VhodniImenik) " +
                                                    folder.filePath("input").toStdString() +
                                                    " exists and can be written");
    const std::string expected = "FAIL Output folder (IzhodniImenik) " +
                                 folder.filePath("output").toStdString() + " cannot be written: ";
    EXPECT_EQ(run.lines.value(2).left(int(expected.size())).toStdString(), expected)
        << run.lines.join('\n').toStdString();
    EXPECT_TRUE(run.lines.value(2).endsWith(
        "To do: give the user who runs the program write permission for " + folder.filePath("output")));
}

TEST(ConsoleCommands, HistoryShowsTheLastRunsOfTheJournal)
{
    // The program finds the journal where this test writes it: in the state folder of the test's main.
    const RunJournal journal;
    JournalEntry entry;
    entry.program = "VornConvert";
    entry.mode = entry.action = "convert";
    entry.result = "import stanje OK";
    entry.succeeded = true;
    for (const char *member : {"M1", "M2", "M3"}) {
        entry.member = member;
        ASSERT_EQ(journal.append(entry), "");
    }
    const ProgramRun run = runProgram(VORN_IMPORT_EXECUTABLE, {"--history", "2"});
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    ASSERT_EQ(run.lines.size(), 4) << run.lines.join('\n').toStdString();
    EXPECT_EQ(run.lines[0], "Run journal " + journal.path());
    EXPECT_TRUE(run.lines[1].startsWith("Time (UTC)"));
    EXPECT_TRUE(run.lines[2].contains("VornConvert/convert  M2")) << run.lines[2].toStdString();
    EXPECT_TRUE(run.lines[3].contains("OK import stanje OK")) << run.lines[3].toStdString();
    EXPECT_EQ(runProgram(VORN_IMPORT_EXECUTABLE, {"--history", "none"}).exitCode, 1);
}

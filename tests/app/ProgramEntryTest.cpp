#include "app/StartUpTexts.h"
#include "HostTestDatabase.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QProcess>

namespace {
struct ProgramRun
{
    bool finished = false;
    int exitCode = -1;
    QStringList errorLines; // standard error: the texts of the message boxes
};

// VornImport copied into its own folder with a settings file beside it, run as the host runs it on a
// server: without DISPLAY, WAYLAND_DISPLAY or a chosen Qt platform.
class ProgramEntryTest : public testing::Test
{
protected:
    ProgramEntryTest() : database(HostEngine::SQLite, "HOSTDB")
    {
        database.createHostTables();
        database.exec("INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https', 'r1/', 'S1', 'p1', 'MY')");
        program = folder.filePath("VornImport");
        EXPECT_TRUE(QFile::copy(VORN_IMPORT_EXECUTABLE, program));
        writeSettings("[Nastavitve]\nPrikazDBNapak=D\n[Podatki]\nNaziv=Uvoz KDD\n");
    }

    void writeSettings(const QByteArray &contents) { folder.write("VornImport.ini", contents); }

    ProgramRun run(const QStringList &arguments, const QString &screenshot = QString())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VORNIMPORT_SCREENSHOT"})
            environment.remove(QLatin1String(name));
        if (!screenshot.isEmpty())
            environment.insert("VORNIMPORT_SCREENSHOT", screenshot);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        ProgramRun result;
        // An entry that waited in the message loop would not end by itself.
        result.finished = process.waitForFinished(30000);
        if (!result.finished) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        for (const QString &line : errors.split('\n', Qt::SkipEmptyParts)) {
            // Qt's own notes about the environment are no message boxes.
            if (!line.startsWith("QStandardPaths:") && !line.contains("propagateSizeHints"))
                result.errorLines << line;
        }
        return result;
    }

    HostTestDatabase database;
    TempDir folder;
    QString program;
};
} // namespace

TEST_F(ProgramEntryTest, RequestFileRunEndsWithoutMessageLoop)
{
    const QString request = folder.write("request.ini", "[Request]\n");
    const ProgramRun result = run({"hostdb", "user", "pwd", request});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.errorLines.isEmpty()) << result.errorLines.join('\n').toStdString();
}

TEST_F(ProgramEntryTest, FailedConnectionShowsBothBoxesTheErrorAndEndsWithOne)
{
    for (const bool unattended : {false, true}) {
        QStringList arguments{"NOSUCH", "user", "pwd"};
        if (unattended)
            arguments << folder.write("request.ini", "[Request]\n");
        const ProgramRun result = run(arguments);
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 1);
        ASSERT_EQ(result.errorLines.size(), 3) << result.errorLines.join('\n').toStdString();
        EXPECT_TRUE(result.errorLines[0].startsWith("Napaka K4: EDatabaseError>"));
        EXPECT_TRUE(result.errorLines[1].startsWith("Napaka 13: EDatabaseError>"));
        // The framework's box: the bare message of the exception.
        EXPECT_EQ("Napaka 13: EDatabaseError>" + result.errorLines[2], result.errorLines[1]);
    }
}

TEST_F(ProgramEntryTest, WithoutArgumentsTheWrongStartBoxThenTheWindow)
{
    const QString screenshot = folder.filePath("window.png");
    const ProgramRun result = run({}, screenshot);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.errorLines, QStringList{WrongStartMessage("Uvoz KDD")});
    const QImage image(screenshot);
    EXPECT_EQ(image.size(), QSize(354, 570));
}

TEST_F(ProgramEntryTest, MissingRequestFileOpensTheWindow)
{
    const QString screenshot = folder.filePath("window.png");
    const ProgramRun result = run({"hostdb", "user", "pwd", folder.filePath("absent.ini")}, screenshot);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.errorLines.isEmpty()) << result.errorLines.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(screenshot));
}

TEST_F(ProgramEntryTest, WithoutDisplayTheWindowIsNotOpenedAndTheHostIsToldWhatToRun)
{
    const ProgramRun result = run({"hostdb", "user", "pwd"});
    ASSERT_TRUE(result.finished) << "waits for a window nobody can see";
    EXPECT_EQ(result.exitCode, 2);
    ASSERT_EQ(result.errorLines.size(), 1) << result.errorLines.join('\n').toStdString();
    EXPECT_TRUE(result.errorLines[0].startsWith("The window of VornImport needs a display"));
    EXPECT_TRUE(result.errorLines[0].contains("VornConvert"));
    EXPECT_TRUE(result.errorLines[0].contains("REQUEST_FILE"));
}

TEST_F(ProgramEntryTest, UnwritableScreenshotEndsWithOne)
{
    const ProgramRun result = run({}, folder.filePath("no/such/folder/window.png"));
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
}

#include "app/StartUpTexts.h"
#include "HostTestDatabase.h"
#include "retrieval/ReportCatalogue.h"
#include "ScopedClock.h"
#include "WindowTestProgram.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QPlainTextEdit>

namespace {
QStringList items(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

class StartUpTest : public testing::Test
{
protected:
    StartUpTest() : clock(QDate(2024, 4, 20)), database(HostEngine::SQLite, "HOSTDB")
    {
        database.createHostTables();
        database.exec("INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('VORNPROTOCOL', 'https');"
                      "INSERT INTO VORN_IMP_INI (KEY, VALUE) VALUES ('vornuri', 'kdd/Members.svc');"
                      "INSERT INTO INISET (Kljuc, Vrednost) VALUES ('OZNAKACLANA', 'OWN7');"
                      "INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https', 'r1/', 'S1', 'p1', 'MY');"
                      "INSERT INTO VORN_REMOTECLAN VALUES ('R2', 'https', 'r2/', 'S2', 'p2', 'MY');"
                      "INSERT INTO VORN_REMOTECLAN VALUES ('R3', 'https', 'r3/', 'S3', 'p3', 'MY')");
        program.writeSettings("[Nastavitve]\nPrikazDBNapak=D\nDebug=D\n[Podatki]\nNaziv=Uvoz KDD\n");
    }

    TestWindow &start(const QStringList &arguments)
    {
        window = program.window(arguments);
        window->StartUp();
        return *window;
    }

    template<typename Control> Control *control(const char *name)
    {
        return childControl<Control>(*window, name);
    }

    ScopedClock clock;
    HostTestDatabase database;
    WindowTestProgram program;
    std::unique_ptr<TestWindow> window;
};
} // namespace

TEST_F(StartUpTest, NoArgumentsShowWrongStartAndOpenTheWindowWithoutHost)
{
    program.writeSettings(
        "[Nastavitve]\nPretvorba=1\nDebug=D\nDailyBondValues=0\n[Podatki]\nNaziv=Uvoz KDD\n");
    TestWindow &w = start({});

    EXPECT_EQ(program.boxes.messages, QStringList{WrongStartMessage("Uvoz KDD")});
    EXPECT_EQ(w.windowTitle(), "VornImport v" + ProgramFileVersion());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.commandLine().Unattended);
    EXPECT_EQ(w.requestFileRuns, 0);
    // The first eleven types whatever the settings, nothing chosen, no host data.
    EXPECT_EQ(items(control<QComboBox>("cbTypeXML")), ReportListEntriesWithoutHost());
    EXPECT_EQ(control<QComboBox>("cbTypeXML")->count(), 11);
    EXPECT_EQ(w.reportTypeText(), "");
    EXPECT_EQ(items(control<QComboBox>("cbRemoteClan")), QStringList{" "});
    EXPECT_EQ(w.hostConfiguration().ConfiguredEndpoint, Endpoint());
    // The settings are read (Debug), but conversion only stays in its initial state.
    EXPECT_TRUE(control<QCheckBox>("cbDebug")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("cbJustConvert")->isVisible());
    EXPECT_FALSE(w.justConvert());
}

TEST_F(StartUpTest, ExistingRequestFileRunsUnattendedWithTheWindowShown)
{
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start({"hostdb", "user", "pwd", request});

    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
    EXPECT_TRUE(w.commandLine().Unattended);
    EXPECT_EQ(w.commandLine().RequestFile, request);
    EXPECT_EQ(w.commandLine().FileSuffix, "");
    EXPECT_EQ(w.requestFileRuns, 1);
    EXPECT_TRUE(w.visibleDuringRequestFile);
    EXPECT_EQ(items(control<QComboBox>("cbTypeXML")), ReportListEntries({false, false, true}));
}

TEST_F(StartUpTest, MissingRequestFileIsTheFileSuffixOfAnInteractiveRun)
{
    const QString absent = program.folder.filePath("absent request.ini");
    TestWindow &w = start({"hostdb", "user", "pwd", absent});

    EXPECT_FALSE(w.commandLine().Unattended);
    EXPECT_EQ(w.commandLine().RequestFile, "");
    EXPECT_EQ(w.commandLine().FileSuffix, absent);
    EXPECT_EQ(w.requestFileRuns, 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(items(control<QComboBox>("cbTypeXML")), ReportListEntries({false, false, false}));
}

TEST_F(StartUpTest, RequestFileAmongMoreArgumentsStillRuns)
{
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start({"hostdb", "user", "pwd", request, "extra"});
    EXPECT_TRUE(w.commandLine().Unattended);
    EXPECT_EQ(w.requestFileRuns, 1);
}

TEST_F(StartUpTest, HostConfigurationSettingsAndDatesReachTheWindow)
{
    program.writeSettings("[Nastavitve]\nPretvorba=1\nDebug=d\nSharebookTXT=1\n");
    TestWindow &w = start({"HostDb", "user", "pwd"});

    EXPECT_TRUE(program.boxes.messages.isEmpty());
    EXPECT_EQ(w.commandLine().Database.Alias, "HostDb");
    EXPECT_EQ(w.commandLine().Database.User, "user");
    EXPECT_EQ(w.commandLine().Database.Password, "pwd");
    EXPECT_EQ(w.hostConfiguration().ConfiguredEndpoint.VornUri, "kdd/Members.svc/");
    EXPECT_EQ(w.hostConfiguration().OwnMemberCode, "OWN7");
    EXPECT_EQ(w.hostConfiguration().RemoteMembers[2].VornMemberCode, "R3");
    EXPECT_EQ(items(control<QComboBox>("cbRemoteClan")), QStringList({" ", "R1", "R2", "R3"}));
    EXPECT_EQ(w.remoteMemberText(), "");
    EXPECT_FALSE(control<QCheckBox>("cbDebug")->isChecked()); // "d" is not "D"
    EXPECT_TRUE(control<QCheckBox>("cbJustConvert")->isVisible());
    EXPECT_TRUE(w.justConvert());
    EXPECT_EQ(w.dateFrom(), QDate(2024, 4, 19));
    EXPECT_EQ(w.dateTo(), QDate(2024, 4, 19));
    EXPECT_EQ(items(control<QComboBox>("cbTypeXML")), ReportListEntries({false, true, false}));
    EXPECT_EQ(control<QComboBox>("cbTypeXML")->currentIndex(), -1);
}

TEST_F(StartUpTest, ConversionOnlyNeedsAnIntegerSetting)
{
    program.writeSettings("[Nastavitve]\nPretvorba=yes\n");
    TestWindow &w = start({"hostdb", "user", "pwd"});
    EXPECT_FALSE(control<QCheckBox>("cbJustConvert")->isVisibleTo(&w));
    EXPECT_FALSE(w.justConvert());
}

TEST_F(StartUpTest, FailedConnectionWithDatabaseErrorsShownGivesTwoBoxesAndFails)
{
    window = program.window({"NOSUCH", "user", "pwd"});
    EXPECT_THROW(window->StartUp(), EDatabaseError);

    ASSERT_EQ(program.boxes.messages.size(), 2) << program.boxes.messages.join('\n').toStdString();
    EXPECT_TRUE(program.boxes.messages[0].startsWith("Napaka K4: EDatabaseError>"));
    EXPECT_TRUE(program.boxes.messages[1].startsWith("Napaka 13: EDatabaseError>"));
    EXPECT_EQ(program.boxes.messages[0].mid(11), program.boxes.messages[1].mid(11));
    EXPECT_TRUE(program.boxes.messages[0].contains("NOSUCH"));
}

TEST_F(StartUpTest, FailedConnectionIsSilentWithoutDatabaseErrorsShown)
{
    program.writeSettings("[Nastavitve]\nPrikazDBNapak=N\n");
    TestWindow &w = start({"NOSUCH", "user", "pwd"});

    EXPECT_TRUE(program.boxes.messages.isEmpty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(items(control<QComboBox>("cbRemoteClan")), QStringList{" "});
    EXPECT_EQ(w.hostConfiguration().ConfiguredEndpoint, Endpoint());
    EXPECT_EQ(w.dateTo(), QDate(2024, 4, 19));
    EXPECT_EQ(control<QComboBox>("cbTypeXML")->count(), ReportListEntries({}).size());
}

TEST_F(StartUpTest, ProgramFileNamedOtherwiseGivesItsOwnCaptionAndSettings)
{
    WindowTestProgram other(QStringLiteral("Other.exe"));
    other.writeSettings("[Podatki]\nNaziv=Drugi meni\n");
    TestWindow w(ProgramStart{other.programFilePath, {}}, &other.boxes);
    w.StartUp();

    EXPECT_EQ(w.windowTitle(), "Other v" + ProgramFileVersion());
    EXPECT_EQ(other.boxes.messages, QStringList{WrongStartMessage("Drugi meni")});
}

TEST_F(StartUpTest, FailingRequestFileRunShowsItsMarkerAndFails)
{
    const QString request = program.folder.write("request.ini", "[Request]\n");
    window = program.window({"hostdb", "u", "p", request});
    window->failRequestFile = true;
    EXPECT_THROW(window->StartUp(), EFOpenError);
    EXPECT_EQ(program.boxes.messages, QStringList{"Napaka 21: EFOpenError>request file locked"});
}

TEST_F(StartUpTest, DebugLinesOnlyWhileDebugIsTicked)
{
    program.writeSettings("[Nastavitve]\nDebug=N\n");
    TestWindow &w = start({"hostdb", "user", "pwd"});
    auto *log = control<QPlainTextEdit>("mmMessages");
    auto *debug = control<QCheckBox>("cbDebug");

    w.messenger().log("first");
    w.DebugLog("hidden");
    debug->setChecked(true);
    w.DebugLog("shown");
    w.messenger().debugLog("also shown");
    debug->setChecked(false);
    w.DebugLog("hidden again");
    w.messenger().log("last\tline");
    EXPECT_EQ(log->toPlainText(), "first\nshown\nalso shown\nlast\tline");
}

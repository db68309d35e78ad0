#include "HostTestDatabase.h"
#include "retrieval/FetchPeriod.h"
#include "ScopedClock.h"
#include "WindowTestProgram.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest/QTest>

namespace {
QDate april(int day)
{
    return QDate(2024, 4, day);
}

// One position of ISIN SI0031102120 on account 123456.
QByteArray positionsReport(const QByteArray &memberCode)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header><GUID>1</GUID>"
           "<StatusDate>2024-04-19</StatusDate></Header><Body><MemberAccountPositions><MemberCode>" +
           memberCode +
           "</MemberCode><MemberAccountPosition><AccountNumber>123456</AccountNumber><IBAN/>"
           "<IsinCode>SI0031102120</IsinCode><TotalVolume>1500</TotalVolume><AvailableVolume>1500"
           "</AvailableVolume><FrozenVolume>0</FrozenVolume><LastChangeDateTime>2024-04-10T12:00:00"
           "</LastChangeDateTime></MemberAccountPosition></MemberAccountPositions></Body></WSResponse>\n";
}

// The window as the host starts it, with a SQLite host database, input and output folders and a type
// table beside the program.
class DoGetXMLTest : public testing::Test
{
protected:
    DoGetXMLTest() : clock(april(20)), database(HostEngine::SQLite, "HOSTDB")
    {
        database.createHostTables();
        database.exec("INSERT INTO INISET (Kljuc, Vrednost) VALUES ('OZNAKACLANA', 'OWN7');"
                      "INSERT INTO INISET (Kljuc, Vrednost) VALUES ('SfVpVornTransaImport', 'D');"
                      "INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https', 'r1/', 'S1', 'p1', 'MY');"
                      "INSERT INTO SFVP VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N')");
        program.folder.write("tipi.ini", "PR,1,1,1\r\n");
        output = QDir(program.folder.filePath("out")).absolutePath();
        QDir().mkpath(output);
        QDir().mkpath(program.folder.filePath("in"));
    }

    // Starts the window with the settings lines given (the folders are added unless given).
    TestWindow &start(const QByteArray &settings, QStringList arguments = {"HostDb", "user", "pwd"})
    {
        QByteArray contents = "[Nastavitve]\n" + settings;
        if (!settings.contains("VhodniImenik="))
            contents += "\nVhodniImenik=" + program.folder.filePath("in").toUtf8();
        if (!settings.contains("IzhodniImenik="))
            contents += "\nIzhodniImenik=" + output.toUtf8();
        program.writeSettings(contents + "\n");
        window = program.window(arguments);
        window->StartUp();
        // The runs' lines only, without the start-up's debug lines.
        control<QPlainTextEdit>("mmMessages")->clear();
        return *window;
    }

    template<typename Control> Control *control(const char *name)
    {
        return childControl<Control>(*window, name);
    }

    void pickType(const QString &entry) { pickReportType(*window, entry); }

    void clickGet() { control<QPushButton>("btnGet")->click(); }

    QStringList logLines() { return windowLogLines(*window); }

    // Without a configured endpoint the fetch fails at once, for the operator in a "Napaka: " box.
    void expectFetchAttempted()
    {
        ASSERT_EQ(program.boxes.messages.size(), 1);
        EXPECT_TRUE(program.boxes.messages[0].startsWith(QStringLiteral("Napaka: ")))
            << program.boxes.messages[0].toStdString();
        program.boxes.messages.clear();
    }

    QStringList outputFiles() const { return QDir(output).entryList(QDir::Files | QDir::Hidden); }

    ScopedClock clock;
    HostTestDatabase database;
    WindowTestProgram program;
    QString output;
    std::unique_ptr<TestWindow> window;
};
} // namespace

TEST_F(DoGetXMLTest, ImportRequestGathersTheWindowsState)
{
    TestWindow &w = start("Pretvorba=1\nPapirPoKotacijiSLO=1", {"HostDb", "user", "pw;d", "SUF"});
    pickType(QString::fromUtf8("Računi - MemberAccounts"));
    w.setRemoteMemberText(" R1 ");
    clickGet(); // sets the run's start time
    ASSERT_TRUE(w.runStartTime().isValid());

    const ImportRequest request = w.importRequest("MemberAccounts");
    EXPECT_EQ(request.name, "MemberAccounts");
    EXPECT_EQ(request.label, QString::fromUtf8("Računi"));
    EXPECT_EQ(request.memberBoxText, " R1 ");
    EXPECT_EQ(request.OwnMemberCode, "OWN7");
    EXPECT_TRUE(request.onlyActive);
    EXPECT_FALSE(request.Unattended);
    EXPECT_EQ(request.InputFolder, program.folder.filePath("in"));
    EXPECT_EQ(request.OutputFolder, output);
    EXPECT_EQ(request.RunStartTime, w.runStartTime());
    EXPECT_TRUE(request.PapirPoKotacijiSLO);
    EXPECT_TRUE(request.TransaImportPreferred);
    EXPECT_EQ(request.DatabaseAlias, "HostDb");
    EXPECT_EQ(request.DatabaseUser, "user");
    EXPECT_EQ(request.DatabasePassword, "pw;d");
    EXPECT_EQ(request.FileSuffix, "SUF");
    EXPECT_EQ(QDir(request.programFolder), QDir(program.folder.path()));

    control<QCheckBox>("cbRcnAkt")->setChecked(false);
    EXPECT_FALSE(w.importRequest("x").onlyActive);
    control<QCheckBox>("cbRcnAkt")->setChecked(true);
    pickType("Stanja - MemberAccountPositions"); // "Samo aktivni" hidden, though still ticked
    EXPECT_FALSE(w.importRequest("x").onlyActive);
    EXPECT_EQ(w.importRequest("x").label, "Stanja");
}

TEST_F(DoGetXMLTest, ImportRequestWithoutSettingsOrHostSettings)
{
    database.exec("DELETE FROM INISET");
    TestWindow &w = start("Pretvorba=1");
    const ImportRequest request = w.importRequest("MemberAccountPositions");
    EXPECT_EQ(request.OwnMemberCode, "");
    EXPECT_FALSE(request.TransaImportPreferred);
    EXPECT_FALSE(request.PapirPoKotacijiSLO);
    EXPECT_EQ(request.FileSuffix, "");
    EXPECT_EQ(request.label, "");
    EXPECT_EQ(request.memberBoxText, "");
}

TEST_F(DoGetXMLTest, ConvertOnlyPositionsConvertsTheStoredReport)
{
    program.folder.write("in/MemberAccountPositions.xml", positionsReport("OWN7"));
    start("Pretvorba=1\nDebug=D");
    pickType("Stanja - MemberAccountPositions");
    clickGet();

    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "doImport: MemberAccountPositions");
    EXPECT_TRUE(lines[1].startsWith("DoImport START "));
    EXPECT_EQ(lines[2], "Import stanje");
    EXPECT_EQ(lines[3], "import stanje OK");
    EXPECT_TRUE(lines[lines.size() - 2].startsWith("DoImport finished "));
    EXPECT_TRUE(lines.last().startsWith("Summary of Stanja - MemberAccountPositions: stored "));
    EXPECT_TRUE(
        lines.last().endsWith(QStringLiteral("MemberAccountPositions.xml (%1 bytes); wrote %2 (1 records)")
                                  .arg(positionsReport("OWN7").size())
                                  .arg(QDir(output).filePath("stanje.txt"))))
        << lines.last().toStdString();
    EXPECT_EQ(outputFiles(), QStringList{"stanje.txt"}); // and the clock probe is gone
    QFile stanje(QDir(output).filePath("stanje.txt"));
    ASSERT_TRUE(stanje.open(QIODevice::ReadOnly));
    const QByteArray record = stanje.readAll();
    EXPECT_TRUE(record.startsWith("OWN7     123456KRKG        SI0031102120")) << record.toStdString();
    EXPECT_TRUE(record.endsWith("\r\n"));
}

TEST_F(DoGetXMLTest, ConvertOnlyForARemoteMemberWritesItsFile)
{
    program.folder.write("in/MemberAccountPositions.xml", positionsReport("R1"));
    TestWindow &w = start("Pretvorba=1");
    pickType("Stanja - MemberAccountPositions");
    w.setRemoteMemberText("R1");
    clickGet();
    EXPECT_EQ(outputFiles(), QStringList{"stanje_R1.txt"});
    EXPECT_TRUE(logLines().contains("import stanje OK")) << logLines().join('\n').toStdString();
}

TEST_F(DoGetXMLTest, ConvertOnlyWithAnUnreachableHostDatabaseLogsTheError)
{
    program.folder.write("in/MemberAccountPositions.xml", positionsReport("OWN7"));
    start("Pretvorba=1", {"NOSUCHALIAS", "user", "pwd"});
    pickType("Stanja - MemberAccountPositions");
    clickGet();
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[1], "Import stanje");
    EXPECT_TRUE(lines[2].startsWith("DoImport Error: "));
    EXPECT_TRUE(lines[3].startsWith("DoImport finished "));
    EXPECT_TRUE(lines[4].contains(" bytes); failed: Alias NOSUCHALIAS")) << lines[4].toStdString();
    EXPECT_TRUE(control<QPushButton>("btnGet")->isEnabled());
}

TEST_F(DoGetXMLTest, ConvertOnlyOfReportsTheHostTakesAsStoredDoesNothing)
{
    TestWindow &w = start("Pretvorba=1\nDebug=D");
    for (const char *entry : {"Javna delniška knjiga TOP 50 - PublicSharebookTop50All",
                              "Transakcije izven trga - MemberOffMarketTransactionsAll",
                              "Trenutni trgovalni računi BTS - MemberCurrentAccounts4BTS",
                              "Javna delniška knjiga - SharebookTXT"}) {
        SCOPED_TRACE(entry);
        w.setReportTypeText(QString::fromUtf8(entry));
        clickGet();
        EXPECT_TRUE(logLines().isEmpty()) << logLines().join('\n').toStdString();
        EXPECT_TRUE(program.boxes.messages.isEmpty());
        EXPECT_TRUE(outputFiles().isEmpty());
        EXPECT_TRUE(w.runStartTime().isValid());
    }
}

TEST_F(DoGetXMLTest, ConvertOnlyOfDailyBondValuesWritesTheWorkbookNamedAfterTheStartDate)
{
    TestWindow &w = start("Pretvorba=1\nDailyBondValues=1\nDebug=D");
    pickType(QString::fromUtf8("Dnevne Teoretične vrednosti - DailyBondValues"));
    w.setPeriod(april(18), april(20));
    program.folder.write(
        "in/DailyBondValues.xml",
        "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header/><Body><DailyBondValues>"
        "<InputParameters><EffectiveDate>2024-04-17</EffectiveDate></InputParameters><DailyBondValue>"
        "<IsinCode>SI0031102120</IsinCode><PrincipalValue>100.5</PrincipalValue>"
        "<AccruedInterestValue>0.25</AccruedInterestValue></DailyBondValue></DailyBondValues></Body>"
        "</WSResponse>");
    clickGet();
    EXPECT_EQ(outputFiles(), QStringList{"DailyBondValues_18.4.24.xls"});
    EXPECT_TRUE(
        logLines().contains("Fill into XML:EffectiveDate2024-04-17;SecurityCode:KRKG;PrincipalValue:100.5;"
                            "AccruedInterestValue:0.25;Error:;"))
        << logLines().join('\n').toStdString();
    EXPECT_EQ(logLines()[logLines().size() - 2], "Free DB connection.");
    EXPECT_TRUE(logLines().last().contains("wrote " + QDir(output).filePath("DailyBondValues_18.4.24.xls")));
    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
}

TEST_F(DoGetXMLTest, ConvertOnlyOfDailyBondValuesWithoutItsReportShowsTheFailure)
{
    start("Pretvorba=1\nDailyBondValues=1");
    pickType(QString::fromUtf8("Dnevne Teoretične vrednosti - DailyBondValues"));
    clickGet();
    ASSERT_EQ(program.boxes.messages.size(), 1);
    EXPECT_TRUE(program.boxes.messages[0].contains("DailyBondValues.xml"))
        << program.boxes.messages[0].toStdString();
    EXPECT_TRUE(outputFiles().isEmpty());
}

TEST_F(DoGetXMLTest, ConvertOnlyIgnoresThePeriod)
{
    TestWindow &w = start("Pretvorba=1");
    w.setReportTypeText("Transakcije - MemberTransactions");
    w.setPeriod(QDate(2024, 1, 1), april(20));
    clickGet();
    EXPECT_TRUE(program.boxes.messages.isEmpty()) << program.boxes.messages.join('\n').toStdString();
    EXPECT_TRUE(logLines().first().startsWith("DoImport START ")) << logLines().join('\n').toStdString();
}

TEST_F(DoGetXMLTest, ClockProbeReplacesAStaleProbeFileAndRemovesItsOwn)
{
    for (const QString &folderSetting : {output, output + "/"}) {
        SCOPED_TRACE(folderSetting.toStdString());
        QFile stale(QDir(output).filePath("tempTime.txt"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("stale");
        ASSERT_TRUE(
            stale.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
        stale.close();

        TestWindow &w = start("IzhodniImenik=" + folderSetting.toUtf8());
        w.setReportTypeText("Stanja - MemberAccountPositions");
        const QDateTime before = QDateTime::currentDateTime();
        clickGet();
        const QDateTime after = QDateTime::currentDateTime();

        EXPECT_TRUE(outputFiles().isEmpty()) << outputFiles().join(',').toStdString();
        // The file system's clock: not the test clock, and the time of this run (its coarse clock may lag).
        EXPECT_GE(w.runStartTime(), before.addSecs(-1));
        EXPECT_LE(w.runStartTime(), after.addSecs(1));
        expectFetchAttempted();
    }
}

TEST_F(DoGetXMLTest, OutputFolderThatCannotTakeTheProbeIsShownToTheOperator)
{
    const QString missing = program.folder.filePath("absent");
    const QString file = program.folder.write("plain-file", "x");
    struct Case
    {
        QByteArray setting;
        QString message;
    };
    const Case cases[] = {
        {"IzhodniImenik=" + missing.toUtf8(),
         QString::fromUtf8("Napaka: EFCreateError, sporočilo: The output folder \"") + missing +
             "\" is not an existing folder."},
        {"IzhodniImenik=" + file.toUtf8(),
         QString::fromUtf8("Napaka: EFCreateError, sporočilo: The output folder \"") + file +
             "\" is not an existing folder."},
        {"IzhodniImenik=",
         QString::fromUtf8(
             "Napaka: EFCreateError, sporočilo: No output folder is set (IzhodniImenik in section "
             "Nastavitve of ") +
             program.programFilePath + ".ini)."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting.toStdString());
        program.boxes.messages.clear();
        TestWindow &w = start("Pretvorba=1\n" + c.setting);
        program.folder.write("in/MemberAccountPositions.xml", positionsReport("OWN7"));
        pickType("Stanja - MemberAccountPositions");
        clickGet();
        EXPECT_EQ(program.boxes.messages, QStringList{c.message});
        EXPECT_TRUE(logLines().isEmpty()) << logLines().join('\n').toStdString(); // nothing converted
        EXPECT_FALSE(w.runStartTime().isValid());
        EXPECT_TRUE(control<QPushButton>("btnGet")->isEnabled());
    }
    EXPECT_FALSE(QFileInfo::exists(program.folder.filePath("tempTime.txt")));
    EXPECT_FALSE(QFileInfo::exists("/tempTime.txt"));
}

TEST_F(DoGetXMLTest, UnattendedConvertOnlyRecordsWhereTheReportLies)
{
    program.folder.write("in/MemberAccountPositions.xml", positionsReport("OWN7"));
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start("Pretvorba=1", {"HostDb", "user", "pwd", request});
    w.setReportTypeText("Stanja - MemberAccountPositions");
    w.DoGetXML();
    EXPECT_EQ(w.fetchedXmlPath(), program.folder.filePath("in") + "/MemberAccountPositions.xml");
    EXPECT_TRUE(outputFiles().isEmpty()); // nothing converted
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(DoGetXMLTest, UnattendedClockProbeFailureReachesTheCaller)
{
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start("IzhodniImenik=" + program.folder.filePath("absent").toUtf8(),
                          {"HostDb", "user", "pwd", request});
    w.setReportTypeText("Stanja - MemberAccountPositions");
    EXPECT_THROW(w.DoGetXML(), EFCreateError);
    EXPECT_TRUE(program.boxes.messages.isEmpty());
}

TEST_F(DoGetXMLTest, RefusedPeriodIsShownAndAcceptedPeriodReachesTheFetch)
{
    const QString refused31 = QString::fromUtf8(
        "Neveljavno obdobje. Maksimalno lahko obdobje obsega 31 dni, datum do mora biti v preteklosti "
        "(včeraj ali manj)!");
    TestWindow &w = start("");
    pickType("Transakcije - MemberTransactions");
    w.setPeriod(QDate(2024, 3, 1), april(1));
    clickGet();
    EXPECT_EQ(program.boxes.messages, QStringList{refused31});
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_TRUE(control<QComboBox>("cbTypeXML")->isEnabled());
    EXPECT_TRUE(control<QComboBox>("cbRemoteClan")->isEnabled());

    program.boxes.messages.clear();
    w.setPeriod(QDate(2024, 3, 1), QDate(2024, 3, 31));
    clickGet();
    expectFetchAttempted();
}

TEST_F(DoGetXMLTest, AllocationsPeriodTheWindowSetsEndsTodayAndIsRefused)
{
    TestWindow &w = start("");
    pickType("Razporeditve - MemberAllocations");
    ASSERT_EQ(w.dateTo(), april(20));
    clickGet();
    EXPECT_EQ(program.boxes.messages, QStringList{QString::fromUtf8(
                                          "Neveljavno obdobje. Maksimalno lahko obdobje obsega 10 dni, datum "
                                          "do mora biti v preteklosti (včeraj ali manj)!")});
    EXPECT_TRUE(logLines().isEmpty());
    EXPECT_TRUE(w.runStartTime().isValid()); // the probe comes first
}

TEST_F(DoGetXMLTest, TypesWithoutPeriodRuleReachTheFetchWithAnyPeriod)
{
    TestWindow &w = start("");
    w.setReportTypeText("Dnevne Transakcije - MemberTransactionsCurrentDay");
    w.setPeriod(QDate(2020, 1, 1), QDate(2030, 1, 1));
    clickGet();
    expectFetchAttempted();
}

TEST_F(DoGetXMLTest, UnattendedRefusedPeriodReachesTheCaller)
{
    const QString request = program.folder.write("request.ini", "[Request]\n");
    TestWindow &w = start("", {"HostDb", "user", "pwd", request});
    w.setReportTypeText("Razporeditve - MemberAllocations");
    w.setPeriod(april(1), april(15));
    try {
        w.DoGetXML();
        FAIL() << "no exception";
    } catch (const EInvalidPeriod &error) {
        EXPECT_EQ(error.message(),
                  QString::fromUtf8("Neveljavno obdobje. Maksimalno lahko obdobje obsega 10 dni, "
                                    "datum do mora biti v preteklosti (včeraj ali manj)!"));
    }
    EXPECT_TRUE(program.boxes.messages.isEmpty());
    EXPECT_TRUE(w.importRequest("x").Unattended);
}

#include "conversion/ImportDispatch.h"
#include "HostTestDatabase.h"
#include "RecordingMessenger.h"
#include "ScopedClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

struct Position
{
    QString account = "123456";
    QString isin = "SI0031102120";
    QString total = "1500";
    QString available = "1500";
    QString frozen = "0";
    QString lastChange = "2024-01-10T12:00:00";
};

QByteArray positionsReport(const QString &memberCode, const QString &statusDate,
                           const QList<Position> &positions)
{
    QString xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">\n"
                  "<Header><GUID>1</GUID><StatusDate>" +
                  statusDate + "</StatusDate></Header>\n<Body><MemberAccountPositions><MemberCode>" +
                  memberCode + "</MemberCode>\n";
    for (const Position &p : positions) {
        xml += "<MemberAccountPosition><AccountNumber>" + p.account + "</AccountNumber><IBAN/><IsinCode>" +
               p.isin + "</IsinCode><TotalVolume>" + p.total + "</TotalVolume><AvailableVolume>" +
               p.available + "</AvailableVolume><FrozenVolume>" + p.frozen +
               "</FrozenVolume><LastChangeDateTime>" + p.lastChange +
               "</LastChangeDateTime></MemberAccountPosition>\n";
    }
    return (xml + "</MemberAccountPositions></Body></WSResponse>\n").toUtf8();
}

class ImportStanjeTest : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    HostTestDatabase host{HostEngine::SQLite};
    RecordingMessenger messenger;
    ScopedClock clock{QDateTime(QDate(2024, 1, 16), QTime(8, 0))};
    ImportRequest request;

    void SetUp() override
    {
        program.write("tipi.ini", "PR,1,1,1\r\n");
        host.createHostTables();
        host.exec("INSERT INTO SFVP VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N');"
                  "INSERT INTO SFVP VALUES (2, 'SI0021110513', 'PETG', NULL, 'N')");
        request.programFolder = program.path();
        request.label = "Stanja";
        request.OwnMemberCode = "OWN";
        request.DatabaseAlias = host.alias();
        request.InputFolder = input.path();
        request.OutputFolder = output.path();
    }

    ImportOutcome convert(const QByteArray &report)
    {
        input.write("MemberAccountPositions.xml", report);
        return DoImport(request, messenger);
    }
};

TEST_F(ImportStanjeTest, WritesOneRecordOfFixedFieldsPerPosition)
{
    Position second;
    second.account = "987654321";
    second.isin = "SI0021110513";
    second.total = "25";
    second.available = "20";
    second.frozen = "5";
    second.lastChange = "2023-12-31";
    const ImportOutcome outcome =
        convert(positionsReport(QString::fromUtf8("ČLAN1"), "2024-01-15", {Position(), second}));
    EXPECT_EQ(outcome.result, ImportResult::Succeeded);
    EXPECT_EQ(outcome.message, "import stanje OK");
    EXPECT_EQ(output.files(), QStringList{"stanje.txt"});
    EXPECT_EQ(output.read("stanje.txt"), "\xC8LAN1    123456KRKG        SI00311021201500            "
                                         "00000000000015000000000000000000015012024010012024\r\n"
                                         "\xC8LAN1 987654321PETG        SI002111051325              "
                                         "00000000000000200000000000000005015012024031122023\r\n");
    ASSERT_EQ(messenger.lines.size(), 4);
    EXPECT_EQ(messenger.lines[1], "Import stanje");
    EXPECT_EQ(messenger.lines[2], "import stanje OK");
}

TEST_F(ImportStanjeTest, RecordsAre105CharactersAndANegativeFrozenVolumeWidensTo106)
{
    Position negative;
    negative.frozen = "-5";
    convert(positionsReport("M1", "2024-01-15", {Position(), negative}));
    const QList<QByteArray> lines = output.read("stanje.txt").split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 105 + 1);
    EXPECT_EQ(lines[1], "M1       123456KRKG        SI00311021201500            "
                        "0000000000001500-0000000000000005015012024010012024\r");
    EXPECT_EQ(lines[1].size(), 106 + 1);
}

TEST_F(ImportStanjeTest, LongValuesAreCutToTheirFields)
{
    Position position;
    position.account = "4294967295";
    convert(positionsReport("MEMBER123", "2024-01-15", {position}));
    EXPECT_TRUE(output.read("stanje.txt").startsWith("MEMBER429496729KRKG"));
}

TEST_F(ImportStanjeTest, MissingSecuritiesGetBlanksAndAreNamedOnceInTheResult)
{
    Position unknown;
    unknown.isin = "SI0000000099";
    const ImportOutcome outcome =
        convert(positionsReport("M1", "2024-01-15", {unknown, Position(), unknown}));
    EXPECT_EQ(outcome.result, ImportResult::MissingSecurities);
    EXPECT_EQ(outcome.message, "\r\nManjka VP za ISIN:SI0000000099");
    const QList<QByteArray> lines = output.read("stanje.txt").split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].mid(15, 24), "            SI0000000099");
    EXPECT_EQ(lines[1].mid(15, 12), "KRKG        ");
    EXPECT_EQ(lines[2].mid(15, 24), "            SI0000000099");
    EXPECT_EQ(messenger.lines[2], "\r\nManjka VP za ISIN:SI0000000099");
}

TEST_F(ImportStanjeTest, AReportWithoutPositionsGivesAnEmptyFile)
{
    const ImportOutcome outcome = convert(positionsReport("M1", "", {}));
    EXPECT_EQ(outcome.message, "import stanje OK");
    EXPECT_TRUE(output.exists("stanje.txt"));
    EXPECT_EQ(output.read("stanje.txt"), "");
}

TEST_F(ImportStanjeTest, AnEmptyStatusDateStopsAtTheFirstPosition)
{
    const ImportOutcome outcome = convert(positionsReport("M1", "", {Position(), Position()}));
    EXPECT_EQ(outcome.result, ImportResult::ConversionFailed);
    EXPECT_EQ(outcome.message, "'' is not a valid integer value");
    EXPECT_TRUE(output.exists("stanje.txt"));
    EXPECT_EQ(output.read("stanje.txt"), "");
}

TEST_F(ImportStanjeTest, AFailureKeepsTheRecordsBuiltBeforeIt)
{
    Position bad;
    bad.available = "";
    const ImportOutcome outcome = convert(positionsReport("M1", "2024-01-15", {Position(), bad, Position()}));
    EXPECT_EQ(outcome.result, ImportResult::ConversionFailed);
    EXPECT_EQ(outcome.message, "Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(output.read("stanje.txt").count("\r\n"), 1);
}

TEST_F(ImportStanjeTest, AMissingAccountNumberFailsAsAnInt64)
{
    Position bad;
    bad.account = "";
    EXPECT_EQ(convert(positionsReport("M1", "2024-01-15", {bad})).message,
              "Could not convert variant of type (Null) into type (Int64)");
}

TEST_F(ImportStanjeTest, AMissingReportGivesAnEmptyFileAndTheParserMessage)
{
    const ImportOutcome outcome = DoImport(request, messenger);
    EXPECT_EQ(outcome.result, ImportResult::ConversionFailed);
    EXPECT_TRUE(outcome.message.contains("MemberAccountPositions.xml")) << outcome.message.toStdString();
    EXPECT_EQ(output.read("stanje.txt"), "");
    EXPECT_TRUE(output.exists("stanje.txt"));
}

TEST_F(ImportStanjeTest, TheFileNameCarriesAnotherMembersCode)
{
    struct Case
    {
        QString own, box, file;
    };
    const QList<Case> cases = {{"ABC", "ABC", "stanje.txt"},
                               {"ABC", " ", "stanje.txt"},
                               {"", "", "stanje.txt"},
                               {"ABC", "XYZ", "stanje_XYZ.txt"},
                               {"ABC", "abc", "stanje_abc.txt"}};
    for (const Case &c : cases) {
        TempDir folder;
        request.OutputFolder = folder.path();
        request.OwnMemberCode = c.own;
        request.memberBoxText = c.box;
        convert(positionsReport("M1", "2024-01-15", {Position()}));
        EXPECT_EQ(folder.files(), QStringList{c.file}) << c.own.toStdString() << "/" << c.box.toStdString();
    }
}

TEST_F(ImportStanjeTest, AMemberCodeWithAPathSeparatorWritesNothing)
{
    request.memberBoxText = "../ABC";
    const ImportOutcome outcome = convert(positionsReport("M1", "2024-01-15", {Position()}));
    EXPECT_EQ(outcome.result, ImportResult::ConversionFailed);
    EXPECT_EQ(outcome.message, "Invalid member code \"../ABC\"");
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(ImportStanjeTest, AnUnreachableDatabaseIsLoggedAsADispatchErrorAndWritesNothing)
{
    request.DatabaseAlias = "NO_SUCH_ALIAS";
    const ImportOutcome outcome = convert(positionsReport("M1", "2024-01-15", {Position()}));
    EXPECT_EQ(outcome.result, ImportResult::DispatchFailed);
    ASSERT_EQ(messenger.lines.size(), 4);
    EXPECT_EQ(messenger.lines[1], "Import stanje");
    EXPECT_TRUE(messenger.lines[2].startsWith("DoImport Error: ")) << messenger.lines[2].toStdString();
    EXPECT_TRUE(messenger.lines[2].contains("NO_SUCH_ALIAS"));
    EXPECT_TRUE(messenger.lines[2].endsWith(" " + logTimestamp()));
    EXPECT_TRUE(messenger.lines[3].startsWith("DoImport finished "));
    EXPECT_TRUE(output.files().isEmpty());
}

} // namespace

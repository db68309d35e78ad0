#include "conversion/ImportDispatch.h"

#include "common/Exception.h"
#include "RecordingMessenger.h"
#include "ScopedClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QLocale>

namespace {

// What a converter was given by the dispatch.
struct Received
{
    QString memberCode;
    QString alias, user, password, input, output;
    QDateTime runStartTime;
    bool papirPoKotacijiSLO = false;
    int created = 0;
};

// Stands in for a converter: takes what the dispatch gives and ends as it is told.
class FakeConversion : public TVornConversion
{
public:
    FakeConversion(const QString &programFolder, Received &received)
        : TVornConversion(programFolder), m_received(received)
    {
    }

    QString resultMessage = "import fake OK";
    ConversionStatus endStatus = ConversionStatus::Succeeded;
    bool executeFails = false;
    QString outputFile;

    void Execute(QString &result) override
    {
        m_received.alias = Alias;
        m_received.user = UserName;
        m_received.password = Password;
        m_received.input = InputFolder;
        m_received.output = OutputFolder;
        m_received.runStartTime = RunStartTime;
        m_received.papirPoKotacijiSLO = PapirPoKotacijiSLO;
        OutputFileName = outputFile;
        OutputLines = {"record"};
        if (executeFails)
            throw EDatabaseError("could not connect to server");
        result = resultMessage;
        setStatus(endStatus);
    }

protected:
    void Convert(QString &) override {}

private:
    Received &m_received;
};

class ImportDispatchTest : public testing::Test
{
protected:
    TempDir program;
    TempDir output;
    ScopedClock clock{QDateTime(QDate(2024, 1, 16), QTime(14, 30, 5))};
    RecordingMessenger messenger;
    Received received;
    std::function<void(FakeConversion &)> configure = [](FakeConversion &) {};
    ImportRequest request;

    void SetUp() override
    {
        program.write("tipi.ini", "PR,1,1,1\r\n");
        request.programFolder = program.path();
        request.label = "Stanja";
        request.OwnMemberCode = "OWN";
        request.DatabaseAlias = "host";
        request.DatabaseUser = "user";
        request.DatabasePassword = "secret";
        request.InputFolder = "/in";
        request.OutputFolder = output.path();
        request.RunStartTime = QDateTime(QDate(2024, 1, 16), QTime(14, 29));
        request.PapirPoKotacijiSLO = true;
    }

    DispatchTable table()
    {
        ConverterFactory fake = [this](const ImportRequest &r, const QString &memberCode) {
            received.memberCode = memberCode;
            ++received.created;
            auto converter = std::make_unique<FakeConversion>(r.programFolder, received);
            configure(*converter);
            return std::unique_ptr<TVornConversion>(std::move(converter));
        };
        return {{"Stanja", "Import stanje", fake}, {"Računi", "Import računi", ConverterFactory()}};
    }

    static QString timestamp()
    {
        const QLocale system = QLocale::system();
        const QDateTime at(QDate(2024, 1, 16), QTime(14, 30, 5));
        return system.toString(at.date(), QLocale::ShortFormat) + " " +
               system.toString(at.time(), QLocale::LongFormat);
    }
};

TEST_F(ImportDispatchTest, LogsStartRowResultAndFinished)
{
    const ImportOutcome outcome = DoImport(request, messenger, table());
    EXPECT_EQ(messenger.lines, (QStringList{"DoImport START " + timestamp(), "Import stanje",
                                            "import fake OK", "DoImport finished " + timestamp()}));
    EXPECT_EQ(outcome.result, ImportResult::Succeeded);
    EXPECT_EQ(outcome.message, "import fake OK");
}

TEST_F(ImportDispatchTest, TimestampIsTheSystemShortDateAndLongTime)
{
    EXPECT_EQ(logTimestamp(), timestamp());
    EXPECT_TRUE(logTimestamp().contains("30")) << logTimestamp().toStdString();
}

TEST_F(ImportDispatchTest, HandsTheCommonParametersToTheConverter)
{
    DoImport(request, messenger, table());
    EXPECT_EQ(received.alias, "host");
    EXPECT_EQ(received.user, "user");
    EXPECT_EQ(received.password, "secret");
    EXPECT_EQ(received.input, "/in");
    EXPECT_EQ(received.output, output.path());
    EXPECT_EQ(received.runStartTime, request.RunStartTime);
    EXPECT_TRUE(received.papirPoKotacijiSLO);
}

TEST_F(ImportDispatchTest, ABlankMemberBoxMeansTheOwnMember)
{
    for (const QString &box : {QString(), QString(" "), QString("  \t")}) {
        request.memberBoxText = box;
        DoImport(request, messenger, table());
        EXPECT_EQ(received.memberCode, "OWN");
    }
    request.memberBoxText = " ABC";
    DoImport(request, messenger, table());
    EXPECT_EQ(received.memberCode, " ABC"); // untrimmed, as typed
}

TEST_F(ImportDispatchTest, AResultMessageOfSeveralLinesIsOneLogEntry)
{
    configure = [](FakeConversion &c) {
        c.resultMessage = "\r\nManjka VP za ISIN:SI0000000001\r\nManjka VP za ISIN:SI0000000002";
        c.endStatus = ConversionStatus::MissingSecurities;
    };
    const ImportOutcome outcome = DoImport(request, messenger, table());
    ASSERT_EQ(messenger.lines.size(), 4);
    EXPECT_EQ(messenger.lines[2], "\r\nManjka VP za ISIN:SI0000000001\r\nManjka VP za ISIN:SI0000000002");
    EXPECT_EQ(outcome.result, ImportResult::MissingSecurities);
}

TEST_F(ImportDispatchTest, AFailedConversionIsReportedAsSuch)
{
    configure = [](FakeConversion &c) {
        c.resultMessage = "Interface not supported";
        c.endStatus = ConversionStatus::Failed;
    };
    EXPECT_EQ(DoImport(request, messenger, table()).result, ImportResult::ConversionFailed);
    EXPECT_EQ(messenger.lines[2], "Interface not supported");
}

TEST_F(ImportDispatchTest, AnErrorLeavingExecuteIsLoggedAndTheConverterStillReleased)
{
    configure = [this](FakeConversion &c) {
        c.executeFails = true;
        c.outputFile = output.filePath("stanje.txt");
    };
    const ImportOutcome outcome = DoImport(request, messenger, table());
    EXPECT_EQ(messenger.lines, (QStringList{"DoImport START " + timestamp(), "Import stanje",
                                            "DoImport Error: could not connect to server " + timestamp(),
                                            "DoImport finished " + timestamp()}));
    EXPECT_EQ(outcome.result, ImportResult::DispatchFailed);
    EXPECT_EQ(output.read("stanje.txt"), "record\r\n");
}

TEST_F(ImportDispatchTest, AnOutputFileThatCannotBeWrittenIsADispatchError)
{
    const QString path = output.filePath("no-such-folder/stanje.txt");
    configure = [path](FakeConversion &c) { c.outputFile = path; };
    const ImportOutcome outcome = DoImport(request, messenger, table());
    ASSERT_EQ(messenger.lines.size(), 4);
    EXPECT_TRUE(messenger.lines[2].startsWith("DoImport Error: Cannot create file \"" + path + "\". "));
    EXPECT_TRUE(messenger.lines[2].endsWith(" " + timestamp()));
    EXPECT_EQ(outcome.result, ImportResult::DispatchFailed);
}

TEST_F(ImportDispatchTest, AMissingTypeTableIsADispatchError)
{
    TempDir empty;
    request.programFolder = empty.path();
    DoImport(request, messenger, table());
    ASSERT_EQ(messenger.lines.size(), 4);
    EXPECT_TRUE(
        messenger.lines[2].startsWith("DoImport Error: Cannot open file \"" + empty.filePath("tipi.ini")));
}

TEST_F(ImportDispatchTest, LabelsWithoutConverterLogOnlyStartAndFinished)
{
    for (const QString &label :
         {QString("Računi"), QString("stanja"), QString("Transakcije izven trga"), QString()}) {
        messenger.lines.clear();
        request.label = label;
        const ImportOutcome outcome = DoImport(request, messenger, table());
        EXPECT_EQ(messenger.lines,
                  (QStringList{"DoImport START " + timestamp(), "DoImport finished " + timestamp()}))
            << label.toStdString();
        EXPECT_EQ(outcome.result, ImportResult::NoConverter);
    }
    EXPECT_EQ(received.created, 0);
}

TEST_F(ImportDispatchTest, UnattendedOnlyRecordsWhereTheReportLies)
{
    request.Unattended = true;
    request.InputFolder = "/in";
    request.name = "MemberAccountPositions.zip";
    const ImportOutcome outcome = DoImport(request, messenger, table());
    EXPECT_EQ(outcome.result, ImportResult::FetchedPathRecorded);
    EXPECT_EQ(outcome.FetchedXmlPath, "/in/MemberAccountPositions.xml");
    EXPECT_TRUE(messenger.lines.isEmpty());
    EXPECT_EQ(received.created, 0);

    request.InputFolder = "/in/";
    request.name = "Report";
    messenger.debugEnabled = true;
    EXPECT_EQ(DoImport(request, messenger, table()).FetchedXmlPath, "/in/Report.xml");
    EXPECT_EQ(messenger.lines, QStringList{"doImport: Report"});
}

TEST_F(ImportDispatchTest, DebugLineNamesTheArgumentFirst)
{
    messenger.debugEnabled = true;
    request.name = "MemberAccountPositions";
    DoImport(request, messenger, table());
    ASSERT_EQ(messenger.lines.size(), 5);
    EXPECT_EQ(messenger.lines[0], "doImport: MemberAccountPositions");
}

TEST(DispatchTable, HoldsTheSixConvertedReportTypesInOrder)
{
    QStringList rows;
    for (const DispatchRow &row : standardDispatchTable())
        rows << row.label + " | " + row.logLine;
    EXPECT_EQ(rows,
              (QStringList{"Stanja | Import stanje", "Računi | Import računi", "Transakcije | Import transa",
                           "Dnevne Transakcije | Import transa CurrentDay", "Razporeditve | Import razpor",
                           "Dnevne Razporeditve | Import razpor"}));
}

} // namespace

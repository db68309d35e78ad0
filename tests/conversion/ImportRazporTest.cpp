#include "conversion/ImportRazpor.h"

#include "ConverterTestData.h"
#include "FullDevice.h"
#include "HostTestDatabase.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <QDir>
#include <QFile>

namespace {

QByteArray allocationXml(const XmlElements &changes = {})
{
    return "<MemberAllocation>" +
           xmlElements({{"TicketNumber", "880011"},
                        {"TradeSide", "BUY"},
                        {"AllocationStatus", "ACCEPTED"},
                        {"TradeAccountNumber", "1000234"},
                        {"IsinCode", "SI0031102120"},
                        {"Volume", "250"},
                        {"AllocationMemberCode", "BKSL"},
                        {"AllocationAccountNumber", "2000456"},
                        {"AllocationOrderNumber", "17"},
                        {"AllocationSubaccountNumber", "0"},
                        {"AllocationActionType", "CREATE"},
                        {"TradeDateTime", "2024-01-15T09:05:03"},
                        {"SettlementDate", "2024-01-17"},
                        {"AllocationDateTime", "2024-01-15T12:00:00"}},
                       changes) +
           "</MemberAllocation>";
}

QByteArray allocationsReport(const QByteArray &allocations, const QByteArray &element = "MemberAllocations")
{
    return reportXml("<" + element + "><MemberCode>KDDU</MemberCode>" + allocations + "</" + element + ">",
                     "");
}

// The fields of an expected record that the tests vary; the rest are those of allocationXml().
struct Expected
{
    QByteArray ticket = "880011";
    QByteArray side = "B";
    QByteArray securityCode = "KRKG";
    QByteArray isin = "SI0031102120";
    QByteArray volume = "0000000000000250";
    QByteArray tradeDate = "015012024";
    QByteArray action = "C";
    QByteArray time = "090503";
};

QByteArray allocationRecord(const Expected &expected = {})
{
    return ExpectedRecord()
        .blank(1)
        .left("BKSL", 5)
        .left(expected.side, 1)
        .left(expected.ticket, 8)
        .left(expected.securityCode, 12)
        .left(expected.isin, 12)
        .raw(expected.volume)
        .right("2000456", 11)
        .right("1000234", 11)
        .blank(1 + 40)
        .raw("015012024")
        .raw(expected.tradeDate)
        .raw("017012024")
        .raw(expected.action)
        .raw(expected.time)
        .line();
}

class ImportRazporTest : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    HostTestDatabase host{HostEngine::SQLite};
    QDateTime runStart = QDateTime::currentDateTime().addSecs(-10);
    // Kept until the test ends, so the files are checked while the converter still exists.
    std::unique_ptr<TImportRazpor> conversion;
    QString result;
    std::function<void(TImportRazpor &)> configure = [](TImportRazpor &) {};

    void SetUp() override
    {
        program.write("tipi.ini", "");
        host.createHostTables();
        host.exec("INSERT INTO SFVP VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N');"
                  "INSERT INTO SFVP VALUES (2, 'SI0021111111', 'ENDS16', '2024-01-16', 'N')");
    }

    ConversionStatus convert(const QByteArray &report, const QString &fileName = "MemberAllocations.xml")
    {
        input.write(fileName, report);
        return convertStored();
    }

    ConversionStatus convertStored()
    {
        conversion = std::make_unique<TImportRazpor>(program.path());
        conversion->Alias = host.alias();
        conversion->InputFolder = input.path();
        conversion->OutputFolder = output.path();
        conversion->RunStartTime = runStart;
        configure(*conversion);
        conversion->Execute(result);
        return conversion->status();
    }

    void withMemberCode(const QString &memberCode)
    {
        configure = [memberCode](TImportRazpor &conversion) { conversion.TargetMemberCode = memberCode; };
    }

    // An output file written before this run started.
    void writeEarlier(const QString &name, const QByteArray &bytes)
    {
        QFile file(output.write(name, bytes));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(runStart.addSecs(-3600), QFileDevice::FileModificationTime));
    }
};

TEST_F(ImportRazporTest, RecordCarriesEveryFieldAtItsPosition)
{
    ASSERT_EQ(convert(allocationsReport(allocationXml())), ConversionStatus::Succeeded);
    EXPECT_EQ(result, "import razpor OK");
    EXPECT_EQ(output.files(), QStringList{"razpor20240115.txt"});
    const QByteArray file = output.read("razpor20240115.txt");
    EXPECT_EQ(file, allocationRecord());
    EXPECT_EQ(file.size(), 152 + 2);
}

TEST_F(ImportRazporTest, FieldsAreFilledAndCutToTheirWidths)
{
    convert(allocationsReport(allocationXml({{"TicketNumber", "7"},
                                             {"TradeSide", ""},
                                             {"Volume", "-5"},
                                             {"AllocationMemberCode", "ABCDEFG"},
                                             {"AllocationAccountNumber", "4294967295"},
                                             {"TradeAccountNumber", "0"}})));
    const QByteArray expected = ExpectedRecord()
                                    .blank(1)
                                    .left("ABCDE", 5)
                                    .blank(1)
                                    .left("7", 8)
                                    .left("KRKG", 12)
                                    .left("SI0031102120", 12)
                                    .raw("-0000000000000005")
                                    .right("4294967295", 11)
                                    .right("0", 11)
                                    .blank(41)
                                    .raw("015012024015012024017012024C090503")
                                    .line();
    EXPECT_EQ(output.read("razpor20240115.txt"), expected);
}

TEST_F(ImportRazporTest, SecurityIsLookedUpAtTheAllocationDate)
{
    convert(allocationsReport(
        allocationXml({{"IsinCode", "SI0021111111"}, {"AllocationDateTime", "2024-01-15T23:59:59"}}) +
        allocationXml({{"IsinCode", "SI0021111111"}, {"AllocationDateTime", "2024-01-17T00:00:00"}})));
    QByteArray missing = allocationRecord({.securityCode = "", .isin = "SI0021111111"});
    missing.replace(118, 9, "017012024");
    EXPECT_EQ(output.read("razpor20240115.txt"),
              allocationRecord({.securityCode = "ENDS16", .isin = "SI0021111111"}) + missing);
    EXPECT_EQ(result, "\r\nManjka VP za ISIN:SI0021111111");
    EXPECT_EQ(conversion->status(), ConversionStatus::MissingSecurities);
}

TEST_F(ImportRazporTest, MissingSecuritiesAreNamedOnceAndGetBlankCodes)
{
    convert(allocationsReport(allocationXml({{"IsinCode", "XS0000000001"}}) + allocationXml() +
                              allocationXml({{"IsinCode", "XS0000000001"}, {"TicketNumber", "2"}})));
    EXPECT_EQ(output.read("razpor20240115.txt"),
              allocationRecord({.securityCode = "", .isin = "XS0000000001"}) + allocationRecord() +
                  allocationRecord({.ticket = "2", .securityCode = "", .isin = "XS0000000001"}));
    EXPECT_EQ(result, "\r\nManjka VP za ISIN:XS0000000001");
}

TEST_F(ImportRazporTest, OnlyCreateUpdateAndDeleteAreConverted)
{
    convert(allocationsReport(allocationXml({{"AllocationActionType", "create"}, {"TicketNumber", "1"}}) +
                              allocationXml({{"AllocationActionType", "UPDATE"}, {"TicketNumber", "2"}}) +
                              allocationXml({{"AllocationActionType", "CANCEL"}, {"TicketNumber", "3"}}) +
                              allocationXml({{"AllocationActionType", "DELETE"}, {"TicketNumber", "4"}}) +
                              allocationXml({{"AllocationActionType", ""}, {"TicketNumber", "5"}}) +
                              allocationXml({{"AllocationActionType", " CREATE"}, {"TicketNumber", "6"}}) +
                              allocationXml({{"AllocationActionType", "CREATE"}, {"TicketNumber", "7"}})));
    EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord({.ticket = "2", .action = "U"}) +
                                                     allocationRecord({.ticket = "4", .action = "D"}) +
                                                     allocationRecord({.ticket = "7", .action = "C"}));
}

TEST_F(ImportRazporTest, AnAllocationNotConvertedIsNotRead)
{
    ASSERT_EQ(convert(allocationsReport(allocationXml({{"AllocationActionType", "CANCEL"}, {"Volume", ""}}))),
              ConversionStatus::Succeeded);
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(ImportRazporTest, TradeTimeGivesHoursMinutesAndSeconds)
{
    const std::pair<const char *, Expected> cases[] = {
        {"2024-01-15", {.time = "000000"}},
        {"2024-01-15T00:00:00", {.time = "000000"}},
        {"2024-01-15T23:59:59.999+01:00", {.time = "235959"}},
        {"2024-01-16T09:05:03Z", {.tradeDate = "016012024", .time = "090503"}},
    };
    for (const auto &[tradeDateTime, expected] : cases) {
        SCOPED_TRACE(tradeDateTime);
        convert(allocationsReport(allocationXml({{"TradeDateTime", tradeDateTime}})));
        EXPECT_EQ(
            output.read("razpor" +
                        QDate::fromString(QString(tradeDateTime).left(10), Qt::ISODate).toString("yyyyMMdd") +
                        ".txt"),
            allocationRecord(expected));
    }
}

TEST_F(ImportRazporTest, OneTradeDateGivesTheMembersFile)
{
    withMemberCode("ABC");
    convert(
        allocationsReport(allocationXml({{"TicketNumber", "2"}}) + allocationXml({{"TicketNumber", "1"}})));
    EXPECT_EQ(output.files(), QStringList{"razpor_ABC.txt"});
    EXPECT_EQ(output.read("razpor_ABC.txt"),
              allocationRecord({.ticket = "2"}) + allocationRecord({.ticket = "1"}));
}

TEST_F(ImportRazporTest, TwoTradeDatesGiveTwoTaggedFilesInDocumentOrder)
{
    withMemberCode("ABC");
    convert(
        allocationsReport(allocationXml({{"TicketNumber", "1"}}) +
                          allocationXml({{"TicketNumber", "2"}, {"TradeDateTime", "2024-01-16T10:00:00"}}) +
                          allocationXml({{"TicketNumber", "3"}}) +
                          allocationXml({{"TicketNumber", "4"}, {"TradeDateTime", "2024-01-16T10:00:00"}})));
    EXPECT_EQ(output.files(), (QStringList{"razpor20240115_ABC.txt", "razpor20240116_ABC.txt"}));
    EXPECT_EQ(output.read("razpor20240115_ABC.txt"),
              allocationRecord({.ticket = "1"}) + allocationRecord({.ticket = "3"}));
    const Expected onSixteenth{.tradeDate = "016012024", .time = "100000"};
    Expected second = onSixteenth, fourth = onSixteenth;
    second.ticket = "2";
    fourth.ticket = "4";
    EXPECT_EQ(output.read("razpor20240116_ABC.txt"), allocationRecord(second) + allocationRecord(fourth));
}

TEST_F(ImportRazporTest, WithoutMemberCodeTheFilesKeepTheirDates)
{
    convert(allocationsReport(allocationXml() + allocationXml({{"TradeDateTime", "2024-01-16T09:05:03"}})));
    EXPECT_EQ(output.files(), (QStringList{"razpor20240115.txt", "razpor20240116.txt"}));
}

TEST_F(ImportRazporTest, AnErrorLeavesTheRecordsWrittenInUntaggedFiles)
{
    withMemberCode("ABC");
    EXPECT_EQ(
        convert(allocationsReport(
            allocationXml({{"TicketNumber", "1"}}) +
            allocationXml({{"TicketNumber", "2"}, {"TradeDateTime", "2024-01-16T09:05:03"}}) +
            allocationXml({{"TicketNumber", "3"}, {"Volume", ""}}) + allocationXml({{"TicketNumber", "4"}}))),
        ConversionStatus::Failed);
    EXPECT_EQ(result, "Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(output.files(), (QStringList{"razpor20240115.txt", "razpor20240116.txt"}));
    EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord({.ticket = "1"}));
    EXPECT_EQ(output.read("razpor20240116.txt"), allocationRecord({.ticket = "2", .tradeDate = "016012024"}));
}

struct FailureCase
{
    XmlElements allocation;
    const char *message;
};

TEST_F(ImportRazporTest, BadValuesStopTheConversionWithTheirMessage)
{
    const FailureCase cases[] = {
        {{{"TicketNumber", ""}}, "Could not convert variant of type (Null) into type (Int64)"},
        {{{"AllocationAccountNumber", ""}}, "Could not convert variant of type (Null) into type (Int64)"},
        {{{"TradeAccountNumber", "1e3"}}, "'1e3' is not a valid integer value"},
        {{{"AllocationDateTime", ""}}, "'' is not a valid integer value"},
        {{{"TradeDateTime", "2024-01-15T25:00:00"}}, "Invalid argument to time encode"},
        {{{"SettlementDate", "2024/01/1x"}}, "'1x' is not a valid integer value"},
    };
    for (const FailureCase &failure : cases) {
        SCOPED_TRACE(failure.message);
        EXPECT_EQ(convert(allocationsReport(allocationXml() + allocationXml(failure.allocation))),
                  ConversionStatus::Failed);
        EXPECT_EQ(result, failure.message);
        EXPECT_EQ(output.files(), QStringList{"razpor20240115.txt"});
        EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord());
    }
}

TEST_F(ImportRazporTest, AFileLeftByAnEarlierConversionIsReplacedNotAppendedTo)
{
    // An earlier conversion of another member failed and left its per-date files untagged.
    writeEarlier("razpor20240115.txt", "another member's record\r\n");
    writeEarlier("razpor20240116.txt", "another member's record\r\n");
    withMemberCode("ABC");
    convert(
        allocationsReport(allocationXml({{"TicketNumber", "1"}}) + allocationXml({{"TicketNumber", "2"}})));
    EXPECT_EQ(output.files(), (QStringList{"razpor20240116.txt", "razpor_ABC.txt"}));
    EXPECT_EQ(output.read("razpor_ABC.txt"),
              allocationRecord({.ticket = "1"}) + allocationRecord({.ticket = "2"}));
    EXPECT_EQ(output.read("razpor20240116.txt"), "another member's record\r\n");
}

TEST_F(ImportRazporTest, OldFilesOfTheMemberAreDeletedOthersKept)
{
    for (const char *name :
         {"razpor.txt", "razpor_ABC.txt", "razpor20230101_ABC.txt", "razpor20230101_XYZ.txt",
          "razpor20230101.txt", "racuni.txt", "razpor20230101_ABC.csv"})
        writeEarlier(name, "old\r\n");
    withMemberCode("ABC");
    EXPECT_EQ(convert(allocationsReport("")), ConversionStatus::Succeeded);
    EXPECT_EQ(result, "import razpor OK");
    EXPECT_EQ(output.files(), (QStringList{"racuni.txt", "razpor20230101.txt", "razpor20230101_ABC.csv",
                                           "razpor20230101_XYZ.txt"}));
}

TEST_F(ImportRazporTest, WithoutMemberCodeEveryAllocationsFileIsDeleted)
{
    for (const char *name : {"razpor.txt", "razpor_ABC.txt", "razpor20230101_XYZ.txt", "razpor20230101.txt"})
        writeEarlier(name, "old\r\n");
    convert(allocationsReport(allocationXml()));
    EXPECT_EQ(output.files(), QStringList{"razpor20240115.txt"});
    EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord());
}

struct InputCase
{
    bool currentDay;
    const char *suffix;
    const char *fileName;
    const char *element;
};

TEST_F(ImportRazporTest, ReadsTheReportOfItsKindAndSuffix)
{
    const InputCase cases[] = {
        {false, "", "MemberAllocations.xml", "MemberAllocations"},
        {true, "", "MemberAllocationsCurrentDay.xml", "MemberAllocationsCurrentDay"},
        {false, "R7", "MemberAllocations_R7.xml", "MemberAllocations"},
        {true, "R7", "MemberAllocationsCurrentDay_R7.xml", "MemberAllocationsCurrentDay"},
    };
    for (const InputCase &kind : cases) {
        SCOPED_TRACE(kind.fileName);
        TempDir folder;
        folder.write(kind.fileName, allocationsReport(allocationXml(), kind.element));
        configure = [&](TImportRazpor &conversion) {
            conversion.CurrentDay = kind.currentDay;
            conversion.FileSuffix = kind.suffix;
            conversion.InputFolder = folder.path();
        };
        EXPECT_EQ(convertStored(), ConversionStatus::Succeeded) << result.toStdString();
        EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord());
    }
}

TEST_F(ImportRazporTest, ACurrentDayReportReadAsPeriodReportHasNoAllocations)
{
    ASSERT_EQ(convert(allocationsReport(allocationXml(), "MemberAllocationsCurrentDay")),
              ConversionStatus::Succeeded);
    EXPECT_EQ(result, "import razpor OK");
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(ImportRazporTest, MissingReportFailsWithoutWritingAFile)
{
    EXPECT_EQ(convertStored(), ConversionStatus::Failed);
    EXPECT_TRUE(result.contains("MemberAllocations.xml")) << result.toStdString();
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(ImportRazporTest, AFileThatCannotBeOpenedStopsTheConversion)
{
    ASSERT_TRUE(QDir(output.path()).mkdir("razpor20240116.txt"));
    withMemberCode("ABC");
    EXPECT_EQ(convert(allocationsReport(allocationXml() +
                                        allocationXml({{"TradeDateTime", "2024-01-16T09:05:03"}}))),
              ConversionStatus::Failed);
    EXPECT_TRUE(result.startsWith("Cannot create file \"" + output.filePath("razpor20240116.txt") + "\". "))
        << result.toStdString();
    EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord());
}

TEST_F(ImportRazporTest, AFileThatCannotBeWrittenStopsTheConversionUntagged)
{
    if (!plantFullDevice(output.filePath("razpor20240116.txt")))
        GTEST_SKIP() << "no full device can be made here";
    withMemberCode("ABC");
    EXPECT_EQ(convert(allocationsReport(allocationXml() +
                                        allocationXml({{"TradeDateTime", "2024-01-16T09:05:03"}}))),
              ConversionStatus::Failed);
    EXPECT_TRUE(result.startsWith("Cannot write file " + output.filePath("razpor20240116.txt") + ": "))
        << result.toStdString();
    EXPECT_EQ(output.files(), QStringList{"razpor20240115.txt"}); // the full device is listed as no file
    EXPECT_EQ(output.read("razpor20240115.txt"), allocationRecord());
}

TEST_F(ImportRazporTest, AMemberCodeLeadingOutOfTheFolderIsRefusedBeforeDeleting)
{
    output.write("razpor.txt", "kept\r\n");
    withMemberCode("../ABC");
    EXPECT_EQ(convert(allocationsReport(allocationXml())), ConversionStatus::Failed);
    EXPECT_EQ(result, "Invalid member code \"../ABC\"");
    EXPECT_EQ(output.files(), QStringList{"razpor.txt"});
}

} // namespace

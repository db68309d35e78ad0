#include "export/XmlToXls.h"

#include "common/Exception.h"
#include "ExceptionMessage.h"
#include "HostTestDatabase.h"
#include "RecordingMessenger.h"
#include "ReportXml.h"
#include "TempDir.h"
#include "WorkbookReaders.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

struct Bond
{
    QByteArray isin;
    QByteArray principal;
    QByteArray accrued;
    QByteArray element = "DailyBondValue";
};

QByteArray dailyBondValuesXml(const QByteArray &effectiveDate, const QList<Bond> &bonds)
{
    QByteArray body = "<DailyBondValues><InputParameters><EffectiveDate>" + effectiveDate +
                      "</EffectiveDate></InputParameters>";
    for (const Bond &bond : bonds)
        body += "<" + bond.element + "><IsinCode>" + bond.isin + "</IsinCode><PrincipalValue>" +
                bond.principal + "</PrincipalValue><AccruedInterestValue>" + bond.accrued +
                "</AccruedInterestValue></" + bond.element + ">";
    return reportXml(body + "</DailyBondValues>");
}

const QStringList kHeader{"EffectiveDate", "SecurityCode", "PrincipalValue", "AccruedInterestValue", "Error"};

class XmlToXlsTest : public testing::TestWithParam<HostEngine>
{
protected:
    TempDir input;
    TempDir output;
    RecordingMessenger messenger;
    std::unique_ptr<HostTestDatabase> host;
    std::unique_ptr<TDailyBondValuesExport> exporter;

    void SetUp() override
    {
        if (GetParam() == HostEngine::PostgreSQL)
            VORN_REQUIRE_POSTGRES();
        host = std::make_unique<HostTestDatabase>(GetParam());
        host->createHostTables();
        // Markets 10 and 11 are "S" markets, 20 another.
        host->exec("INSERT INTO TRG VALUES (10, 'S'); INSERT INTO TRG VALUES (11, 'S'); INSERT INTO TRG "
                   "VALUES (20, 'X')");
        exporter = std::make_unique<TDailyBondValuesExport>(messenger);
        exporter->Alias = host->alias().toLower();
        const auto server = PostgresTestServer::fromEnvironment();
        exporter->UserName = server ? server->user : QStringLiteral("user");
        exporter->Password = "password";
        exporter->InputFolder = input.path();
        exporter->OutputFolder = output.path();
        exporter->StartDate = QDate(2024, 3, 5);
    }

    DailyBondValuesOutcome run(const QByteArray &report)
    {
        input.write("DailyBondValues.xml", report);
        return exporter->XMLToXLS("DailyBondValues.zip");
    }

    static QList<QStringList> rows(const ParsedWorkbook &workbook) { return workbook.rowTexts(5); }

    ParsedWorkbook parsedWorkbook() const
    {
        return ParseWithSpreadsheetParseExcel(output.filePath("DailyBondValues_5.3.24.xls"));
    }
};

TEST_P(XmlToXlsTest, ReportWithoutBondsGivesTheHeaderRowWithItsLook)
{
    const DailyBondValuesOutcome outcome = run(dailyBondValuesXml("2024-03-05", {}));
    EXPECT_EQ(outcome.workbookPath, output.filePath("DailyBondValues_5.3.24.xls"));
    EXPECT_EQ(outcome.missingIsins, 0);
    EXPECT_EQ(output.files(), QStringList{"DailyBondValues_5.3.24.xls"});

    const ParsedWorkbook workbook = parsedWorkbook();
    EXPECT_EQ(rows(workbook), QList<QStringList>{kHeader});
    const std::map<int, double> widths{{0, 15}, {1, 15}, {2, 17}, {3, 20}, {4, 20}};
    EXPECT_EQ(workbook.columnWidths, widths);
    for (int column = 0; column < 5; ++column) {
        const ParsedCell &cell = workbook.cells.at({0, column});
        EXPECT_EQ(cell.type, "Text");
        EXPECT_EQ(cell.fillPattern, 1) << column;
        EXPECT_EQ(cell.fillColour, 47) << column;
        EXPECT_EQ(cell.bold, column == 4) << column;
        EXPECT_EQ(cell.fontColour, column == 4 ? 10 : 32767) << column;
    }
    EXPECT_EQ(workbook.rgbOfColour(47), "FFCC99");
    EXPECT_EQ(workbook.rgbOfColour(10), "FF0000");
}

TEST_P(XmlToXlsTest, BondsFillRowsInDocumentOrderWhateverTheirElementName)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'OBL1', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000002', 'OBL2', '2024-03-05', 'N');"
               "INSERT INTO SFVP VALUES (3, 'SI0000000003', 'OBL3', NULL, 'N')");
    const DailyBondValuesOutcome outcome =
        run(dailyBondValuesXml("2024-03-05", {{"SI0000000003", "100.5", "0.25"},
                                              {"SI0000000001", "99", "1.5", "Other"},
                                              {"SI0000000002", "101.125", "2"}}));
    EXPECT_EQ(outcome.missingIsins, 0);
    const ParsedWorkbook workbook = parsedWorkbook();
    EXPECT_EQ(rows(workbook), (QList<QStringList>{kHeader,
                                                  {"2024-03-05", "OBL3", "100.5", "0.25", ""},
                                                  {"2024-03-05", "OBL1", "99", "1.5", ""},
                                                  {"2024-03-05", "OBL2", "101.125", "2", ""}}));
    for (int row = 1; row <= 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            EXPECT_EQ(workbook.cells.at({row, column}).type, "Text");
            EXPECT_EQ(workbook.cells.at({row, column}).fillPattern, 0);
            EXPECT_FALSE(workbook.cells.at({row, column}).bold);
        }
    }
}

TEST_P(XmlToXlsTest, MissingIsinIsNamedInRedBoldAndTheRowIsStillWritten)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'OBL1', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000002', 'ENDED', '2024-03-04', 'N')");
    const DailyBondValuesOutcome outcome = run(dailyBondValuesXml(
        "2024-03-05",
        {{"SI0000000002", "100", "1"}, {"SI0000000001", "99", "2"}, {"SI0000000009", "98", "3"}}));
    EXPECT_EQ(outcome.missingIsins, 2);
    const ParsedWorkbook workbook = parsedWorkbook();
    EXPECT_EQ(rows(workbook),
              (QList<QStringList>{kHeader,
                                  {"2024-03-05", "", "100", "1", "Manjka VP za ISIN:SI0000000002"},
                                  {"2024-03-05", "OBL1", "99", "2", ""},
                                  {"2024-03-05", "", "98", "3", "Manjka VP za ISIN:SI0000000009"}}));
    for (const int row : {1, 3}) {
        const ParsedCell &error = workbook.cells.at({row, 4});
        EXPECT_EQ(error.fontColour, 10);
        EXPECT_TRUE(error.bold);
        EXPECT_EQ(error.fillPattern, 0);
    }
}

TEST_P(XmlToXlsTest, PlainFormTakesTheFirstRowsCode)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'FIRST', NULL, 'N');"
               "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'SECOND', NULL, 'D')");
    exporter->Init_DB_Query();
    QString code;
    QString error;
    exporter->GetSfvpKRTFromISIN("SI0000000001", QDate(2024, 3, 5), code, error);
    EXPECT_EQ(code, "FIRST");
    EXPECT_EQ(error, "");
}

TEST_P(XmlToXlsTest, ListingFormWalksTheSMarketsAndRemovesCodesListedElsewhere)
{
    // Each ISIN's listings as SFVP, KRT and market (10 and 11 "S", 20 another), in query order.
    host->exec(
        // (S, A), (other, A), (other, B): A is added and removed again, B never is a candidate.
        "INSERT INTO SFVP VALUES (1, 'SI0000000001', 'A', NULL, 'N'); INSERT INTO KTC VALUES (1, 10, NULL);"
        "INSERT INTO KTC VALUES (1, 20, NULL);"
        "INSERT INTO SFVP VALUES (2, 'SI0000000001', 'B', NULL, 'N'); INSERT INTO KTC VALUES (2, 20, NULL);"
        // (S, A), (S, D), (other, A): D remains.
        "INSERT INTO SFVP VALUES (3, 'SI0000000002', 'A', NULL, 'N'); INSERT INTO KTC VALUES (3, 10, NULL);"
        "INSERT INTO KTC VALUES (3, 20, NULL);"
        "INSERT INTO SFVP VALUES (4, 'SI0000000002', 'D', NULL, 'N'); INSERT INTO KTC VALUES (4, 11, NULL);"
        // A single row gives its code, whatever its market.
        "INSERT INTO SFVP VALUES (5, 'SI0000000003', 'ONLY', NULL, 'N'); INSERT INTO KTC VALUES (5, 20, "
        "NULL)");
    exporter->PapirPoKotacijiSLO = true;
    const DailyBondValuesOutcome outcome = run(dailyBondValuesXml(
        "2024-03-05", {{"SI0000000001", "1", "2"}, {"SI0000000002", "3", "4"}, {"SI0000000003", "5", "6"}}));
    EXPECT_EQ(outcome.missingIsins, 1);
    const ParsedWorkbook workbook = parsedWorkbook();
    EXPECT_EQ(rows(workbook),
              (QList<QStringList>{kHeader,
                                  {"2024-03-05", "", "1", "2", "Manjka VP za ISIN:SI0000000001"},
                                  {"2024-03-05", "D", "3", "4", ""},
                                  {"2024-03-05", "ONLY", "5", "6", ""}}));
    EXPECT_TRUE(workbook.cells.at({1, 4}).bold);
}

TEST_P(XmlToXlsTest, DatabaseFailureDuringALookupLeavesTheRowWithoutCodeAndError)
{
    exporter->Init_DB_Query();
    host->exec("DROP TABLE SFVP");
    QString code = "KEPT";
    QString error = "stale";
    exporter->GetSfvpKRTFromISIN("SI0000000001", QDate(2024, 3, 5), code, error);
    EXPECT_EQ(code, "KEPT");
    EXPECT_EQ(error, "");
    EXPECT_FALSE(exporter->lastLookupFailure().isEmpty());
    exporter->Free_DB_Query();

    // The export goes on, says which lookups failed and counts them.
    const DailyBondValuesOutcome outcome =
        run(dailyBondValuesXml("2024-03-05", {{"SI0000000001", "100", "1"}, {"SI0000000002", "99", "2"}}));
    EXPECT_EQ(outcome.failedLookups, 2);
    EXPECT_EQ(outcome.missingIsins, 0);
    EXPECT_EQ(
        rows(parsedWorkbook()),
        (QList<QStringList>{kHeader, {"2024-03-05", "", "100", "1", ""}, {"2024-03-05", "", "99", "2", ""}}));
    ASSERT_EQ(messenger.lines.size(), 2);
    EXPECT_TRUE(messenger.lines[0].startsWith("Security lookup for ISIN SI0000000001 failed: "))
        << messenger.lines[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, XmlToXlsTest, testing::Values(HostEngine::SQLite, HostEngine::PostgreSQL));

class XmlToXlsSQLiteTest : public XmlToXlsTest
{
};

TEST_P(XmlToXlsSQLiteTest, WorkbookIsNamedAfterTheStartDateWhateverTheEffectiveDate)
{
    const struct
    {
        QDate start;
        const char *name;
    } cases[] = {
        {QDate(2024, 3, 5), "DailyBondValues_5.3.24.xls"},
        {QDate(2024, 11, 15), "DailyBondValues_15.11.24.xls"},
        {QDate(2009, 1, 31), "DailyBondValues_31.1.09.xls"},
    };
    input.write("DailyBondValues.xml", dailyBondValuesXml("2023-12-29", {}));
    for (const auto &test : cases) {
        exporter->StartDate = test.start;
        EXPECT_EQ(exporter->XMLToXLS("DailyBondValues.xml").workbookPath, output.filePath(test.name));
        EXPECT_TRUE(output.exists(test.name)) << test.name;
    }
}

TEST_P(XmlToXlsSQLiteTest, SlovenianLettersStayIntact)
{
    host->exec(QString::fromUtf8("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'ČŽŠ1', NULL, 'N')"));
    run(dailyBondValuesXml("2024-03-05",
                           {{"SI0000000001", "100,5 €", QString::fromUtf8("obresti š").toUtf8()}}));
    EXPECT_EQ(rows(parsedWorkbook())[1],
              QStringList({"2024-03-05", QString::fromUtf8("ČŽŠ1"), QString::fromUtf8("100,5 €"),
                           QString::fromUtf8("obresti š"), ""}));
}

TEST_P(XmlToXlsSQLiteTest, GnumericReadsTheSameTexts)
{
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'OBL1', NULL, 'N')");
    run(dailyBondValuesXml("2024-03-05", {{"SI0000000001", "100.5", "0.25"}, {"SI0000000009", "99", "1"}}));
    const QList<QStringList> csv = ConvertWithSsconvert(output.filePath("DailyBondValues_5.3.24.xls"));
    EXPECT_EQ(csv, (QList<QStringList>{kHeader,
                                       {"2024-03-05", "OBL1", "100.5", "0.25", ""},
                                       {"2024-03-05", "", "99", "1", "Manjka VP za ISIN:SI0000000009"}}));
}

TEST_P(XmlToXlsSQLiteTest, DebugLinesFollowTheExport)
{
    messenger.debugEnabled = true;
    host->exec("INSERT INTO SFVP VALUES (1, 'SI0000000001', 'OBL1', NULL, 'N')");
    run(dailyBondValuesXml("2024-03-05", {{"SI0000000001", "100.5", "0.25"}, {"SI0000000009", "99", "1"}}));
    EXPECT_EQ(messenger.lines,
              (QStringList{"Create new Excel file.", "Add new Sheets into Excel.", "Before InitDB.",
                           "Load " + input.filePath("DailyBondValues.xml"),
                           "Fill into XML:EffectiveDate2024-03-05;SecurityCode:OBL1;PrincipalValue:100.5;"
                           "AccruedInterestValue:0.25;Error:;",
                           "Fill into XML:EffectiveDate2024-03-05;SecurityCode:;PrincipalValue:99;"
                           "AccruedInterestValue:1;Error:Manjka VP za ISIN:SI0000000009;",
                           "Save Excel file.", "Free DB connection."}));
}

TEST_P(XmlToXlsSQLiteTest, MissingRequiredElementFailsAfterClosingTheConnectionAndLeavesNoWorkbook)
{
    const struct
    {
        const char *name;
        QByteArray report;
        const char *message;
    } cases[] = {
        {"no effective date", reportXml("<DailyBondValues><InputParameters/></DailyBondValues>"),
         "element \"EffectiveDate\" is missing in \"InputParameters\""},
        {"no report", reportXml("<Other/>"), "element \"DailyBondValues\" is missing in \"Body\""},
        {"no body", "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header/></WSResponse>",
         "\"WSResponse\" has no second child element"},
        {"bond without value",
         reportXml(
             "<DailyBondValues><InputParameters><EffectiveDate>2024-03-05</EffectiveDate></InputParameters>"
             "<DailyBondValue><IsinCode>SI0000000001</IsinCode><PrincipalValue>1</PrincipalValue>"
             "</DailyBondValue></DailyBondValues>"),
         "element \"AccruedInterestValue\" is missing in \"DailyBondValue\""},
    };
    messenger.debugEnabled = true;
    for (const auto &test : cases) {
        output.write("DailyBondValues_5.3.24.xls", "an old workbook");
        messenger.lines.clear();
        const QString message = messageOf<EXMLDocError>([&] { run(test.report); });
        EXPECT_TRUE(message.contains(input.filePath("DailyBondValues.xml"))) << test.name;
        EXPECT_TRUE(message.endsWith(test.message)) << test.name << ": " << message.toStdString();
        EXPECT_EQ(messenger.lines.last(), "Free DB connection.") << test.name;
        EXPECT_TRUE(output.files().isEmpty()) << test.name;
    }
    // The report file itself missing fails the same way.
    QFile::remove(input.filePath("DailyBondValues.xml"));
    EXPECT_THROW(exporter->XMLToXLS("DailyBondValues.zip"), EXMLDocError);
    EXPECT_EQ(messenger.lines.last(), "Free DB connection.");
}

TEST_P(XmlToXlsSQLiteTest, DatabaseThatCannotBeOpenedRaisesItsMessageAndWritesNothing)
{
    input.write("DailyBondValues.xml", dailyBondValuesXml("2024-03-05", {}));
    exporter->Alias = "NO_SUCH_ALIAS";
    const QString message = messageOf<Exception>([&] { exporter->XMLToXLS("DailyBondValues.zip"); });
    EXPECT_TRUE(message.contains("NO_SUCH_ALIAS")) << message.toStdString();
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_P(XmlToXlsSQLiteTest, SaveFailureReachesTheCallerWithThePath)
{
    input.write("DailyBondValues.xml", dailyBondValuesXml("2024-03-05", {}));
    exporter->OutputFolder = output.filePath("missing");
    messenger.debugEnabled = true;
    const QString message = messageOf<EFCreateError>([&] { exporter->XMLToXLS("DailyBondValues.zip"); });
    EXPECT_TRUE(message.startsWith("Cannot create file \"" +
                                   output.filePath("missing/DailyBondValues_5.3.24.xls") + "\". "))
        << message.toStdString();
    EXPECT_EQ(messenger.lines.last(), "Free DB connection.");
}

TEST_P(XmlToXlsSQLiteTest, EffectiveDateThatIsNoDateFailsTheExport)
{
    input.write("DailyBondValues.xml", dailyBondValuesXml("2024-3-5", {{"SI0000000001", "1", "2"}}));
    EXPECT_THROW(exporter->XMLToXLS("DailyBondValues.zip"), EConvertError);
    EXPECT_TRUE(output.files().isEmpty());
}

// A report past the sheet's limits is refused in the user's terms before the day's workbook is deleted.
TEST_P(XmlToXlsSQLiteTest, ReportPastTheSheetsLimitsKeepsTheWorkbook)
{
    const QList<Bond> tooMany(65536, Bond{"SI0000000001", "1", "2"});
    const struct
    {
        const char *name;
        QList<Bond> bonds;
        QString message;
    } cases[] = {
        {"bonds", tooMany,
         "The daily bond values report holds 65536 bonds, more than the 65535 a workbook sheet can hold"},
        {"principal value",
         {{"SI0000000001", QByteArray(32768, '1'), "2"}},
         "The PrincipalValue of the bond with ISIN SI0000000001 has 32768 characters, more than the 32767 a "
         "workbook cell can hold"},
        {"ISIN in the error text",
         {{QByteArray(32750, 'S'), "1", "2"}},
         "The IsinCode of the bond with ISIN SSS"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        output.write("DailyBondValues_5.3.24.xls", "an old workbook");
        const QString message =
            messageOf<EConvertError>([&] { run(dailyBondValuesXml("2024-03-05", c.bonds)); });
        EXPECT_TRUE(message.startsWith(c.message)) << message.toStdString();
        EXPECT_TRUE(message.endsWith("the workbook " + output.filePath("DailyBondValues_5.3.24.xls") +
                                     " was left as it was."));
        EXPECT_EQ(output.read("DailyBondValues_5.3.24.xls"), "an old workbook");
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, XmlToXlsSQLiteTest, testing::Values(HostEngine::SQLite));

} // namespace

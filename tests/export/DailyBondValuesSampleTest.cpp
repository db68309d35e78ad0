#include "app/ConvertCommand.h"
#include "common/RunJournal.h"
#include "HostTestDatabase.h"
#include "TempDir.h"
#include "WorkbookReaders.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QTextStream>

// The headless converter's workbook run on the sample report and the demo host database, as
// scripts/demo runs it, its journal record and its exit codes.
namespace {

const QString kSamples = QStringLiteral(VORN_SAMPLES_DIR);

class DailyBondValuesSampleTest : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    HostTestDatabase host{HostEngine::SQLite, QStringLiteral("DEMO")};
    QString log;
    QString errors;

    void SetUp() override
    {
        program.write("VornImport.ini",
                      ("[Nastavitve]\r\nVhodniImenik=" + input.path() + "\r\nIzhodniImenik=" + output.path() +
                       "\r\nPretvorba=1\r\nPapirPoKotacijiSLO=1\r\n")
                          .toUtf8());
        host.createHostTables();
        host.execScript(kSamples + "/demo-host.sql");
        ASSERT_TRUE(QFile::copy(kSamples + "/DailyBondValues.xml", input.filePath("DailyBondValues.xml")));
    }

    int convert(QStringList extra = {})
    {
        QTextStream out(&log);
        QTextStream err(&errors);
        return RunVornConvert(
            QStringList{"DEMO", "demo", "demo", "--type",
                        QString::fromUtf8("Dnevne Teoretične vrednosti - DailyBondValues")} +
                extra,
            program.path(), out, err);
    }
};

TEST_F(DailyBondValuesSampleTest, SampleGivesItsWorkbookAndNamesTheUnknownBond)
{
    EXPECT_EQ(convert({"--date", "2025-03-01"}), 1) << errors.toStdString();
    ASSERT_EQ(output.files(), QStringList{"DailyBondValues_1.3.25.xls"});
    EXPECT_EQ(log, "Saved " + output.filePath("DailyBondValues_1.3.25.xls") + "\n");
    const ParsedWorkbook workbook =
        ParseWithSpreadsheetParseExcel(output.filePath("DailyBondValues_1.3.25.xls"));
    EXPECT_EQ(workbook.rowTexts(5),
              (QList<QStringList>{
                  {"EffectiveDate", "SecurityCode", "PrincipalValue", "AccruedInterestValue", "Error"},
                  {"2025-02-28", "RS87", "101.2345", "1.8712", ""},
                  {"2025-02-28", "RS86", "98.7650", "0.4521", ""},
                  {"2025-02-28", "", "100.0000", "2.0833", "Manjka VP za ISIN:SI0002104386"}}));
}

TEST_F(DailyBondValuesSampleTest, RunIsJournaledWithTheWorkbookAsOnDisk)
{
    EXPECT_EQ(convert({"--date", "2025-03-01"}), 1) << errors.toStdString();
    const QList<QJsonObject> records = RunJournal().lastRecords(1);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0]["missingSecurities"], 1);
    const QJsonObject written = records[0]["written"].toArray()[0].toObject();
    EXPECT_EQ(written["path"], output.filePath("DailyBondValues_1.3.25.xls"));
    EXPECT_EQ(written["sha256"],
              QString::fromLatin1(QCryptographicHash::hash(output.read("DailyBondValues_1.3.25.xls"),
                                                           QCryptographicHash::Sha256)
                                      .toHex()));
    EXPECT_TRUE(errors.startsWith("Summary of ")) << errors.toStdString();
}

TEST_F(DailyBondValuesSampleTest, ExitCodesTellFoundMissingAndFailed)
{
    host.exec("INSERT INTO SFVP VALUES (106, 'SI0002104386', 'RS90', NULL, 'N'); INSERT INTO KTC VALUES "
              "(106, 1, NULL)");
    EXPECT_EQ(convert({"--date", "2025-03-01"}), 0) << errors.toStdString();

    host.exec("DROP TABLE KTC");
    EXPECT_EQ(convert({"--date", "2025-03-01"}), 2);
    EXPECT_TRUE(log.contains("Security lookup for ISIN SI0002103685 failed: ")) << log.toStdString();

    QFile::remove(input.filePath("DailyBondValues.xml"));
    errors.clear();
    EXPECT_EQ(convert({"--date", "2025-03-01"}), 2);
    EXPECT_TRUE(errors.startsWith("EXMLDocError: ")) << errors.toStdString();
    EXPECT_TRUE(output.files().isEmpty());

    errors.clear();
    EXPECT_EQ(convert({"--date", "1.3.2025"}), 2);
    EXPECT_TRUE(errors.startsWith("--date needs a date as YYYY-MM-DD")) << errors.toStdString();
}

} // namespace

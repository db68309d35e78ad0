#include "common/RunJournal.h"
#include "VornConvertFixture.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>

namespace {

const QByteArray kReport =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<WSResponse "
    "xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header><StatusDate>2024-01-15</StatusDate></Header>"
    "<Body><MemberAccountPositions><MemberCode>M1</MemberCode>"
    "<MemberAccountPosition><AccountNumber>7</AccountNumber><IsinCode>ISIN_PLACEHOLDER</IsinCode>"
    "<TotalVolume>1</TotalVolume><AvailableVolume>1</AvailableVolume><FrozenVolume>0</FrozenVolume>"
    "<LastChangeDateTime>2024-01-10</LastChangeDateTime></MemberAccountPosition>"
    "</MemberAccountPositions></Body></WSResponse>\n";

class VornConvertTest : public VornConvertFixture
{
protected:
    void SetUp() override
    {
        install("PR,1,1,1\r\n");
        writeReport("SI0031102120");
    }

    void writeReport(const QByteArray &isin) const
    {
        input.write("MemberAccountPositions.xml", QByteArray(kReport).replace("ISIN_PLACEHOLDER", isin));
    }
};

TEST_F(VornConvertTest, ExitsZeroWhenTheConverterReportsOk)
{
    const ProcessRun result = run(login() << "--type"
                                          << "Stanja - MemberAccountPositions");
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << result.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("DoImport START "));
    EXPECT_EQ(lines[1], "Import stanje");
    EXPECT_EQ(lines[2], "import stanje OK");
    EXPECT_TRUE(lines[3].startsWith("DoImport finished "));
    EXPECT_EQ(output.files(), QStringList{"stanje.txt"});
    EXPECT_TRUE(output.read("stanje.txt").startsWith("M1            7KRKG"));
}

TEST_F(VornConvertTest, ExitsOneWhenSecuritiesAreMissing)
{
    writeReport("SI0000000099");
    const ProcessRun result = run(login() << "--type"
                                          << "Stanja");
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("\nManjka VP za ISIN:SI0000000099\n")) << result.out.toStdString();
}

TEST_F(VornConvertTest, ExitsTwoWhenTheHostDatabaseCannotBeOpened)
{
    const ProcessRun result = run({"NO_SUCH_ALIAS", "user", "password", "--type", "Stanja"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.out.contains("\nDoImport Error: ")) << result.out.toStdString();
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(VornConvertTest, ExitsTwoWhenTheConversionFails)
{
    QFile::remove(input.filePath("MemberAccountPositions.xml"));
    const ProcessRun result = run(login() << "--type"
                                          << "Stanja");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.out.contains("MemberAccountPositions.xml")) << result.out.toStdString();
}

TEST_F(VornConvertTest, ExitsTwoForATypeWithoutConverter)
{
    const ProcessRun result = run(login() << "--type"
                                          << "Transakcije izven trga - MemberOffMarketTransactionsAll");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out.split('\n', Qt::SkipEmptyParts).size(), 2) << result.out.toStdString();
    EXPECT_TRUE(result.err.contains("No converter")) << result.err.toStdString();
}

TEST_F(VornConvertTest, ExitsTwoOnBadArguments)
{
    for (const QStringList &arguments : {QStringList{host.alias(), "user", "password"},
                                         QStringList{host.alias(), "user", "--type", "Stanja"},
                                         login() << "--type"
                                                 << "Stanja"
                                                 << "--unknown",
                                         login() << "--type"}) {
        const ProcessRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("Usage: VornConvert")) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty());
    }
}

TEST_F(VornConvertTest, ADashPasswordComesFromTheEnvironment)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("VORN_PASSWORD");
    const ProcessRun without = run({host.alias(), "user", "-", "--type", "Stanja"}, environment);
    EXPECT_EQ(without.exitCode, 2);
    EXPECT_TRUE(without.err.contains("VORN_PASSWORD"));
    environment.insert("VORN_PASSWORD", "secret");
    EXPECT_EQ(run({host.alias(), "user", "-", "--type", "Stanja"}, environment).exitCode, 0);
}

TEST_F(VornConvertTest, MemberAndSettingsOptionsAreUsed)
{
    TempDir otherOutput;
    program.write("other.ini", settings(otherOutput.path()));
    const ProcessRun result = run(login() << "--type"
                                          << "Stanja"
                                          << "--member"
                                          << "XYZ"
                                          << "--settings" << program.filePath("other.ini") << "--debug");
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(otherOutput.files(), QStringList{"stanje_XYZ.txt"});
    EXPECT_TRUE(output.files().isEmpty());
    EXPECT_TRUE(result.out.contains("doImport: MemberAccountPositions\n")) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains("OznakaClana: OWN\n")) << result.out.toStdString();
}

TEST_F(VornConvertTest, TheOwnMemberCodeComesFromTheHost)
{
    const ProcessRun result = run(login() << "--type"
                                          << "Stanja"
                                          << "--member"
                                          << "OWN");
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(output.files(), QStringList{"stanje.txt"});
}

TEST_F(VornConvertTest, TwoConversionsAtOnceAreJournaledWithTheirFilesAndSummedUp)
{
    const QString journal = program.filePath("journal.jsonl");
    program.write("VornImport.ini", settings(output.path()) + "Dnevnik=" + journal.toUtf8() + "\r\n");
    QProcess first, second;
    for (QProcess *process : {&first, &second})
        process->start(executable, login() << "--type"
                                           << "Stanja");
    for (QProcess *process : {&first, &second}) {
        ASSERT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitCode(), 0);
        const QString err = QString::fromUtf8(process->readAllStandardError());
        EXPECT_EQ(err, QStringLiteral("Summary of Stanja: stored %1 (%2 bytes); wrote %3 (1 records)\n")
                           .arg(input.filePath("MemberAccountPositions.xml"))
                           .arg(input.read("MemberAccountPositions.xml").size())
                           .arg(output.filePath("stanje.txt")));
    }
    const QList<QJsonObject> records = RunJournal(journal).lastRecords(10);
    ASSERT_EQ(records.size(), 2);
    const QByteArray stanje = output.read("stanje.txt");
    for (const QJsonObject &record : records) {
        EXPECT_EQ(record["program"], "VornConvert");
        EXPECT_EQ(record["succeeded"], true);
        const QJsonObject written = record["written"].toArray()[0].toObject();
        EXPECT_EQ(written["records"], 1);
        EXPECT_EQ(written["sha256"],
                  QString::fromLatin1(QCryptographicHash::hash(stanje, QCryptographicHash::Sha256).toHex()));
    }
}

TEST_F(VornConvertTest, AJournalThatCannotBeWrittenDoesNotFailTheConversion)
{
    const QString blocker = program.write("blocker", "x");
    program.write("VornImport.ini",
                  settings(output.path()) + "Dnevnik=" + blocker.toUtf8() + "/journal.jsonl\r\n");
    const ProcessRun result = run(login() << "--type"
                                          << "Stanja");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains("The run journal " + blocker + "/journal.jsonl could not be written"))
        << result.err.toStdString();
    EXPECT_EQ(output.files(), QStringList{"stanje.txt"});
}

} // namespace

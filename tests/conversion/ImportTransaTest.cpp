#include "conversion/ImportTransa.h"

#include "app/ConvertCommand.h"
#include "conversion/ImportDispatch.h"
#include "FullDevice.h"
#include "HostTestDatabase.h"
#include "RecordingMessenger.h"
#include "ScopedClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <QFile>
#include <QTextStream>

namespace {

// One MemberTransaction; a null text leaves its element out, an empty one writes it empty.
struct Tx
{
    QString moveSequence = "41";
    QString type = "PR";
    QString status = "CONFIRMED";
    QString number = "5001";
    QString source = "123";
    QString dateTime = "2024-01-15T10:20:30";
    QString reference = "REF-1";
    QString isin = "SI0031102120";
    QString account = "1234567";
    QString subaccount = "0";
    QString volume = "250";
    QString value = "1000.5";
};

// One MemberSettlementInstruction.
struct Instruction
{
    QString ticket = "123";
    QString price = "12.5";
    QString tradeDateTime = "2024-01-12T09:00:00";
    QString settlementDate = "2024-01-17";
    QString tradeReference = "TR-77";
};

QString element(const QString &name, const QString &value)
{
    return value.isNull() ? QString() : "<" + name + ">" + value + "</" + name + ">";
}

QByteArray envelope(const QString &toDate, const QString &body)
{
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header><GUID>g</GUID>"
            "<FromDate>2024-01-01</FromDate>" +
            element("ToDate", toDate) + "</Header><Body>" + body + "</Body></WSResponse>\n")
        .toUtf8();
}

QByteArray transactionsXml(const QList<Tx> &transactions, const QString &toDate = "2024-01-31",
                           const QString &bodyElement = "MemberTransactions")
{
    QString items;
    for (const Tx &t : transactions) {
        items += "<MemberTransaction>" + element("MoveSequence", t.moveSequence) +
                 element("TransactionType", t.type) + element("TransactionStatus", t.status) +
                 element("TransactionNumber", t.number) + element("SourceTransactionNumber", t.source) +
                 element("TransactionDateTime", t.dateTime) + element("TransactionReference", t.reference) +
                 element("IsinCode", t.isin) + "<RequestMemberCode>ABC</RequestMemberCode>" +
                 element("AccountNumber", t.account) + element("SubaccountNumber", t.subaccount) +
                 element("Volume", t.volume) + element("TransactionValue", t.value) +
                 "<Currency>EUR</Currency></MemberTransaction>";
    }
    return envelope(toDate,
                    "<" + bodyElement + "><MemberCode>ABC</MemberCode>" + items + "</" + bodyElement + ">");
}

QByteArray instructionsXml(const QList<Instruction> &instructions)
{
    QString items;
    for (const Instruction &i : instructions) {
        items += "<MemberSettlementInstruction>" + element("TicketNumber", i.ticket) +
                 "<MicCode>XLJU</MicCode>" + element("Price", i.price) +
                 element("TradeDateTime", i.tradeDateTime) + element("TradeReference", i.tradeReference) +
                 element("SettlementDate", i.settlementDate) + "</MemberSettlementInstruction>";
    }
    return envelope("2024-01-31",
                    "<MemberSettlementInstructions><SettlementMemberCode>ABC</SettlementMemberCode>" + items +
                        "</MemberSettlementInstructions>");
}

QByteArray left(const QByteArray &text, int width)
{
    return text + QByteArray(width - text.size(), ' ');
}

QByteArray right(const QByteArray &text, int width)
{
    return QByteArray(width - text.size(), ' ') + text;
}

// First position (from 1) and width of the 29 columns of the transactions record.
constexpr std::pair<int, int> kColumns[] = {
    {1, 1},     {2, 9},     {11, 5},   {16, 4},   {20, 4},   {24, 9},    {33, 5},   {38, 11},
    {49, 40},   {89, 15},   {104, 12}, {116, 12}, {128, 5},  {133, 16},  {149, 16}, {165, 16},
    {181, 17},  {198, 40},  {238, 9},  {247, 9},  {256, 9},  {265, 128}, {393, 17}, {410, 20},
    {430, 100}, {530, 100}, {630, 20}, {650, 20}, {670, 25},
};

// Column n (from 1) of a record.
QByteArray column(const QByteArray &record, int n)
{
    const auto [start, width] = kColumns[n - 1];
    return record.mid(start - 1, width);
}

// Type table: PR writes only moves in and allows subaccounts; PRN refuses subaccounts; PRE has no
// write rule; PRX has a rule that writes nothing.
constexpr char kTypeTable[] = "PR,12,1,2,D,D\r\n"
                              "PRN,13,3,4,N,N\r\n"
                              "PRE,14,5,6,D\r\n"
                              "PRX,15,7,8,D,X\r\n";

class ImportTransaTest : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    std::unique_ptr<HostTestDatabase> host;
    QDateTime runStart = QDateTime::currentDateTime().addSecs(-60);
    QString result;
    ConversionStatus status = ConversionStatus::NotRun;
    qint64 windowBytes = TXMLItemWindows::kWindowBytes;

    virtual HostEngine engine() const { return HostEngine::SQLite; }

    // The test server's user; SQLite takes any.
    static QString userName()
    {
        const auto server = PostgresTestServer::fromEnvironment();
        return server ? server->user : QStringLiteral("user");
    }

    void SetUp() override
    {
        VORN_REQUIRE_HOST_ENGINE(engine());
        program.write("tipi.ini", kTypeTable);
        host = std::make_unique<HostTestDatabase>(engine());
        host->createHostTables();
        host->exec("INSERT INTO SFVP VALUES (1, 'SI0031102120', 'KRKG', NULL, 'N')");
    }

    void setMoveSequence(const QString &value)
    {
        host->exec("INSERT INTO INISET VALUES ('TransaUseMoveSequence', '" + value + "')");
    }

    template<class Converter = TImportTransa>
    void convert(const QString &memberCode = "ABC", const QString &fileSuffix = QString())
    {
        Converter converter(program.path());
        converter.Alias = host->alias();
        converter.UserName = userName();
        converter.Password = "password";
        converter.InputFolder = input.path();
        converter.OutputFolder = output.path();
        converter.RunStartTime = runStart;
        converter.TargetMemberCode = memberCode;
        converter.FileSuffix = fileSuffix;
        converter.ReportWindowBytes = windowBytes;
        converter.Execute(result);
        converter.Release();
        status = converter.status();
    }

    // Converts the period report of the transactions (with the instructions) for member ABC.
    void convert(const QList<Tx> &transactions, const QList<Instruction> &instructions = {Instruction()})
    {
        input.write("MemberTransactions.xml", transactionsXml(transactions));
        input.write("MemberSettlementInstructions.xml", instructionsXml(instructions));
        convert();
    }

    // The records of an output file, each without its CR LF.
    QList<QByteArray> records(const QString &name) const
    {
        const QByteArray bytes = output.read(name);
        EXPECT_TRUE(bytes.isEmpty() || bytes.endsWith("\r\n")) << name.toStdString();
        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast();
        for (QByteArray &line : lines) {
            EXPECT_TRUE(line.endsWith('\r'));
            line.chop(1);
        }
        return lines;
    }

    // The only record of a conversion for ABC that wrote a single line.
    QByteArray onlyRecord()
    {
        EXPECT_EQ(output.files(), QStringList{"transa_ABC.txt"}) << result.toStdString();
        const QList<QByteArray> lines = records("transa_ABC.txt");
        EXPECT_EQ(lines.size(), 1);
        return lines.value(0);
    }
};

TEST_F(ImportTransaTest, WritesTheRecordColumnByColumn)
{
    Tx tx;
    tx.reference = "XREF-1";
    convert({tx});
    EXPECT_EQ(result, "\r\nimport transa OK");
    EXPECT_EQ(status, ConversionStatus::Succeeded);
    const QByteArray expected = " "             // 1
                                "000000041"     // 2 MoveSequence
                                "MSEQ "         // 3
                                "0012"          // 4 kind
                                "0001"          // 5 direction
                                "000000123"     // 6 source number
                                "ABC  "         // 7 member
                                "    1234567" + // 8 account
                                left("XREF-1", 40) +
                                QByteArray(15, ' ') +           // 9, 10
                                "KRKG        SI0031102120     " // 11, 12, 13
                                "0000000000000250"              // 14 volume
                                "0000000000000250"              // 15
                                "0000000000000000"              // 16
                                "          12,5000" +           // 17 price
                                left("XTR-77", 40) +            // 18
                                "012012024012012024017012024" + // 19, 20, 21
                                QByteArray(128, ' ') +
                                "        1000,5000" +                                   // 22, 23
                                left("5001", 20) + left("PR", 100) + left("123", 100) + // 24, 25, 26
                                QByteArray(40, ' ') + right("2024-01-15T10:20:30", 25); // 27, 28, 29
    const QByteArray record = onlyRecord();
    EXPECT_EQ(record.size(), 694);
    EXPECT_EQ(record, expected);
}

TEST_F(ImportTransaTest, MoveSequenceSettingChoosesColumnsTwoAndThree)
{
    struct Case
    {
        QString setting; // null: no INISET row
        QByteArray columns2And3;
    };
    const Case cases[] = {{QString(), "000000041MSEQ "},
                          {"N", "00000500300003"},
                          {"D", "000000041MSEQ "},
                          {"n", "000000041MSEQ "}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting.isNull() ? "missing" : c.setting.toStdString());
        host->exec("DELETE FROM INISET");
        if (!c.setting.isNull())
            setMoveSequence(c.setting);
        Tx unconfirmed;
        unconfirmed.status = "PENDING";
        Tx refusedSubaccount;
        refusedSubaccount.type = "PRN";
        refusedSubaccount.subaccount = "7";
        Tx third;
        third.number = "5003";
        convert({unconfirmed, refusedSubaccount, third});
        const QByteArray record = onlyRecord();
        EXPECT_EQ(column(record, 2) + column(record, 3), c.columns2And3);
        EXPECT_EQ(record.size(), 694);
    }
}

TEST_F(ImportTransaTest, NegativeVolumeTakesTheSecondDirectionAndItsAbsoluteValue)
{
    Tx out;
    out.type = "PRE";
    out.volume = "-250";
    convert({out});
    const QByteArray record = onlyRecord();
    EXPECT_EQ(column(record, 4), "0014");
    EXPECT_EQ(column(record, 5), "0006");
    EXPECT_EQ(column(record, 14), "0000000000000250");
    EXPECT_EQ(column(record, 15), "0000000000000250");
}

TEST_F(ImportTransaTest, WriteRuleDecidesWhichLinesAreWritten)
{
    struct Case
    {
        QString type;
        QString volume;
        bool written;
    };
    const Case cases[] = {{"PR", "-250", false}, {"PR", "0", true},   {"PRN", "-1", true},
                          {"PRE", "-1", true},   {"PRX", "5", false}, {"UNKNOWN", "-1", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE((c.type + " " + c.volume).toStdString());
        Tx tx;
        tx.type = c.type;
        tx.volume = c.volume;
        convert({tx});
        EXPECT_EQ(output.exists("transa_ABC.txt"), c.written);
        EXPECT_EQ(result, "\r\nimport transa OK");
    }
}

TEST_F(ImportTransaTest, ATypeMissingFromTheTableGivesZeroNumbers)
{
    Tx tx;
    tx.type = "ZZ";
    convert({tx});
    const QByteArray record = onlyRecord();
    EXPECT_EQ(column(record, 4) + column(record, 5), "00000000");
    EXPECT_EQ(column(record, 25), left("ZZ", 100));
}

TEST_F(ImportTransaTest, OnlyConfirmedTransactionsAreWritten)
{
    for (const char *status : {"CANCELLED", "confirmed", "", " CONFIRMED"}) {
        Tx tx;
        tx.status = status;
        convert({tx});
        EXPECT_TRUE(output.files().isEmpty()) << status;
        EXPECT_EQ(result, "\r\nimport transa OK");
    }
}

TEST_F(ImportTransaTest, SubaccountNeedsThePermissionOfTheTypeRow)
{
    Tx refused;
    refused.type = "PRN";
    refused.subaccount = "7";
    convert({refused});
    EXPECT_TRUE(output.files().isEmpty());

    Tx allowed;
    allowed.subaccount = "7";
    convert({allowed});
    EXPECT_EQ(column(onlyRecord(), 4), "0012");
}

TEST_F(ImportTransaTest, APermissionCarriesOverToTypesMissingFromTheTable)
{
    // A skipped transaction of type PRN still sets the permission "N" that the next one sees.
    Tx skipped;
    skipped.type = "PRN";
    skipped.status = "CANCELLED";
    Tx unknown;
    unknown.type = "ZZ";
    unknown.subaccount = "7";
    convert({skipped, unknown});
    EXPECT_TRUE(output.files().isEmpty());

    Tx permitting;
    permitting.status = "CANCELLED";
    convert({permitting, unknown});
    EXPECT_EQ(column(onlyRecord(), 4), "0000");

    // Before any row is found there is no permission at all.
    convert({unknown});
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(ImportTransaTest, AnUnreadableSubaccountCountsAsNone)
{
    Tx tx;
    tx.type = "PRN";
    tx.subaccount = "seven";
    convert({tx});
    EXPECT_EQ(column(onlyRecord(), 4), "0013");
}

TEST_F(ImportTransaTest, OnlyAnUpperCaseXFlagsTheTradeReference)
{
    struct Case
    {
        QString reference;
        QByteArray column9;
        QByteArray column18;
    };
    const Case cases[] = {
        {"XŠKODA", "X\x8AKODA", "XTR-77"},
        {"xref", "xref", "TR-77"},
        {"", "", "TR-77"},
        {"AX", "AX", "TR-77"},
        {"X" + QString(45, u'9'), "X" + QByteArray(39, '9'), "XTR-77"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reference.toStdString());
        Tx tx;
        tx.reference = c.reference;
        convert({tx});
        const QByteArray record = onlyRecord();
        EXPECT_EQ(column(record, 9), left(c.column9, 40));
        EXPECT_EQ(column(record, 18), left(c.column18, 40));
    }
}

TEST_F(ImportTransaTest, TheInstructionsColumnsAreCutAndWidenedAsEachRecordWouldBe)
{
    struct Case
    {
        QString reference;
        QString price;
        QString tradeReference;
        QByteArray columns17To18; // and the record's length
    };
    const QString longReference(45, u'7');
    const Case cases[] = {
        {"XA", "12.5", longReference, "          12,5000X" + QByteArray(39, '7')},
        {"A", "12.5", longReference, "          12,5000" + QByteArray(40, '7')},
        {"XA", "12.5", "ŠKODA", "          12,5000" + left("X\x8AKODA", 40)},
        // A price wider than its column widens the record.
        {"A", "123456789012345.5", "TR-77", "123456789012345,5000" + left("TR-77", 40)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.price.toStdString() + " " + c.reference.toStdString());
        Tx tx;
        tx.reference = c.reference;
        Instruction instruction;
        instruction.price = c.price;
        instruction.tradeReference = c.tradeReference;
        convert({tx}, {instruction});
        const QByteArray record = onlyRecord();
        EXPECT_EQ(record.mid(180, c.columns17To18.size()), c.columns17To18);
        EXPECT_EQ(record.size(), 694 + c.columns17To18.size() - 57);
        EXPECT_EQ(record.mid(180 + c.columns17To18.size(), 27), "012012024012012024017012024");
    }
}

TEST_F(ImportTransaTest, WithoutInstructionTheReportDatesFillIn)
{
    Tx tx;
    tx.reference = "XREF";
    tx.dateTime = "2024-01-15";
    convert({tx}, {});
    const QByteArray record = onlyRecord();
    EXPECT_EQ(column(record, 17), "           0,0000");
    EXPECT_EQ(column(record, 18), left("XNi zapisa v MemberTrades", 40));
    EXPECT_EQ(column(record, 19) + column(record, 20) + column(record, 21), "015012024015012024031012024");
    EXPECT_EQ(column(record, 29), right("2024-01-15", 25));
}

TEST_F(ImportTransaTest, TheInstructionKeyIsTheTicketNumberInDecimal)
{
    Tx padded;
    padded.source = "000123";
    convert({padded});
    QByteArray record = onlyRecord();
    EXPECT_EQ(column(record, 6), "000000123");
    EXPECT_EQ(column(record, 18), left("Ni zapisa v MemberTrades", 40));
    EXPECT_EQ(column(record, 26), left("000123", 100));

    Instruction leadingZeros;
    leadingZeros.ticket = "0123";
    Tx plain;
    convert({plain}, {leadingZeros});
    EXPECT_EQ(column(onlyRecord(), 18), left("TR-77", 40));
}

TEST_F(ImportTransaTest, OnlyTheExactDecimalTextOfATicketFindsItsInstruction)
{
    const struct
    {
        const char *source;
        const char *ticket;
        bool found;
    } cases[] = {
        {"0", "0", true},           {"4294967295", "4294967295", true},
        {"123", "123", true},       {"+123", "123", false},
        {" 123", "123", false},     {"123 ", "123", false},
        {"-0", "0", false},         {"00", "0", false},
        {"4294967296", "0", false}, {"12345678901", "123", false},
        {"", "0", false},
    };
    for (const auto &c : cases) {
        Tx tx;
        tx.source = c.source;
        Instruction instruction;
        instruction.ticket = c.ticket;
        convert({tx}, {instruction});
        EXPECT_EQ(column(onlyRecord(), 18), left(c.found ? "TR-77" : "Ni zapisa v MemberTrades", 40))
            << c.source;
    }
}

TEST_F(ImportTransaTest, SourceNumbersThatAreNoIntegersGiveZero)
{
    for (const char *source : {"", "ABC", "12x", "99999999999"}) {
        Tx tx;
        tx.source = source;
        convert({tx});
        EXPECT_EQ(column(onlyRecord(), 6), "000000000") << source;
    }
}

TEST_F(ImportTransaTest, TheFirstInstructionOfATicketCounts)
{
    Instruction first;
    first.price = "1.25";
    Instruction second;
    second.price = "99";
    second.tradeReference = "SECOND";
    convert({Tx()}, {first, second});
    const QByteArray record = onlyRecord();
    EXPECT_EQ(column(record, 17), "           1,2500");
    EXPECT_EQ(column(record, 18), left("TR-77", 40));
}

TEST_F(ImportTransaTest, LoadingInstructionsStopsAtABadOneAndKeepsTheEarlierOnes)
{
    Instruction one;
    one.ticket = "1";
    Instruction withoutTicket;
    withoutTicket.ticket = QString();
    Instruction three;
    three.ticket = "3";
    Tx first;
    first.source = "1";
    Tx third;
    third.source = "3";
    third.dateTime = "2024-01-16";
    convert({first, third}, {one, withoutTicket, three});
    EXPECT_EQ(result, "\r\nimport transa OK");
    EXPECT_EQ(column(records("transa20240115_ABC.txt").value(0), 18), left("TR-77", 40));
    EXPECT_EQ(column(records("transa20240116_ABC.txt").value(0), 18), left("Ni zapisa v MemberTrades", 40));
}

TEST_F(ImportTransaTest, AMissingOrBrokenInstructionsFileMeansNoInstructions)
{
    for (const QByteArray &instructions : {QByteArray(), QByteArray("<WSResponse><Body>")}) {
        input.write("MemberTransactions.xml", transactionsXml({Tx()}));
        QFile::remove(input.filePath("MemberSettlementInstructions.xml"));
        if (!instructions.isNull())
            input.write("MemberSettlementInstructions.xml", instructions);
        convert();
        EXPECT_EQ(result, "\r\nimport transa OK");
        EXPECT_EQ(column(onlyRecord(), 18), left("Ni zapisa v MemberTrades", 40));
    }
}

TEST_F(ImportTransaTest, ReportsReadAnItemAtATimeGiveTheFilesOfTheWholeReports)
{
    setMoveSequence("N"); // the record numbers the transactions of the whole report
    QList<Tx> transactions;
    QList<Instruction> instructions;
    for (int i = 0; i < 6; ++i) {
        Tx transaction;
        transaction.number = QString::number(5000 + i);
        transaction.source = QString::number(120 + i % 4);
        transaction.dateTime = QString("2024-01-1%1T10:00:00").arg(5 + i % 2);
        transaction.volume = i % 3 ? "250" : "-40";
        transactions << transaction;
        Instruction instruction; // the ticket of the fourth repeats the third's
        instruction.ticket = QString::number(120 + (i == 3 ? 2 : i));
        instruction.tradeReference = "TR-" + QString::number(i);
        instructions << instruction;
    }
    convert(transactions, instructions);
    QMap<QString, QByteArray> whole;
    for (const QString &name : output.files())
        whole[name] = output.read(name);
    ASSERT_EQ(whole.size(), 2) << result.toStdString();

    windowBytes = 1;
    convert(transactions, instructions);
    EXPECT_EQ(result, "\r\nimport transa OK");
    for (const QString &name : output.files())
        EXPECT_EQ(output.read(name), whole.take(name)) << name.toStdString();
    EXPECT_TRUE(whole.isEmpty());
}

TEST_F(ImportTransaTest, TransactionValueIsOptionalAndReadWithADecimalPoint)
{
    struct Case
    {
        QString value;
        QByteArray column23;
    };
    const Case cases[] = {{"", QByteArray(17, ' ')},
                          {"1234.5", "        1234,5000"},
                          {"-12.34567", "         -12,3457"},
                          {"7", "           7,0000"},
                          {".5", "           0,5000"},
                          {"+12.", "          12,0000"},
                          {"1.5e3", "        1500,0000"},
                          {" 12,5\t", "          12,5000"},
                          {"\u00A012.5\u2003", "          12,5000"}};
    for (const Case &c : cases) {
        Tx tx;
        tx.value = c.value;
        convert({tx});
        EXPECT_EQ(column(onlyRecord(), 23), c.column23) << c.value.toStdString();
    }
}

TEST_F(ImportTransaTest, MissingSecuritiesAreNamedOnceAndLeaveBlanks)
{
    Tx first;
    first.isin = "SI0000000009";
    Tx second = first;
    second.number = "5002";
    convert({first, second});
    EXPECT_EQ(result, "\r\n\r\nManjka VP za ISIN:SI0000000009");
    EXPECT_EQ(status, ConversionStatus::MissingSecurities);
    const QList<QByteArray> lines = records("transa_ABC.txt");
    ASSERT_EQ(lines.size(), 2);
    for (const QByteArray &line : lines)
        EXPECT_EQ(column(line, 11) + column(line, 12), "            SI0000000009");
}

TEST_F(ImportTransaTest, FilesPerDateAreTaggedWithTheMemberCode)
{
    Tx fifteenth;
    Tx sixteenth;
    sixteenth.dateTime = "2024-01-16T08:00:00";
    Tx fifteenthAgain;
    fifteenthAgain.number = "5009";
    convert({fifteenth, sixteenth, fifteenthAgain});
    EXPECT_EQ(output.files(), (QStringList{"transa20240115_ABC.txt", "transa20240116_ABC.txt"}));
    const QList<QByteArray> fifteenthLines = records("transa20240115_ABC.txt");
    ASSERT_EQ(fifteenthLines.size(), 2);
    EXPECT_EQ(column(fifteenthLines[1], 24), left("5009", 20));
    EXPECT_EQ(records("transa20240116_ABC.txt").size(), 1);
}

TEST_F(ImportTransaTest, WithoutMemberCodeTheFilesKeepTheirNames)
{
    output.write("transa20231231_XYZ.txt", "other member\r\n");
    input.write("MemberTransactions.xml", transactionsXml({Tx()}));
    convert("");
    EXPECT_EQ(output.files(), QStringList{"transa20240115.txt"});
    EXPECT_EQ(records("transa20240115.txt").size(), 1);
}

TEST_F(ImportTransaTest, TheMembersEarlierFilesAreDeletedEvenWhenTheReportIsMissing)
{
    output.write("transa.txt", "old\r\n");
    output.write("transa20240110_ABC.txt", "old\r\n");
    output.write("transa_ABC.txt", "old\r\n");
    output.write("transa20240110_XYZ.txt", "other member\r\n");
    convert();
    EXPECT_TRUE(result.startsWith("\r\nCannot open report file")) << result.toStdString();
    EXPECT_EQ(status, ConversionStatus::Failed);
    EXPECT_EQ(output.files(), QStringList{"transa20240110_XYZ.txt"});
}

TEST_F(ImportTransaTest, AnEmptyReportWritesNoFile)
{
    output.write("transa_ABC.txt", "old\r\n");
    convert(QList<Tx>{});
    EXPECT_EQ(result, "\r\nimport transa OK");
    EXPECT_TRUE(output.files().isEmpty());
}

TEST_F(ImportTransaTest, AFileLeftByAFailedConversionIsReplacedNotAppendedTo)
{
    // An earlier conversion, of this member or of another one, failed and left its lines
    // untagged; they must not reach the host again under this member's name.
    output.write("transa20240115.txt", "earlier line\r\n");
    Tx first;
    Tx second;
    second.number = "5002";
    convert({first, second});
    const QList<QByteArray> lines = records("transa_ABC.txt");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(column(lines[0], 24), left("5001", 20));
    EXPECT_EQ(column(lines[1], 24), left("5002", 20));
}

TEST_F(ImportTransaTest, AFailureKeepsTheLinesWrittenSoFarUntagged)
{
    setMoveSequence("N");
    Tx first;
    Tx second;
    second.dateTime = "2024-01-16";
    Tx third;
    third.volume = "";
    Tx fourth;
    convert({first, second, third, fourth});
    EXPECT_EQ(result, "\r\nCould not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(status, ConversionStatus::Failed);
    EXPECT_EQ(output.files(), (QStringList{"transa20240115.txt", "transa20240116.txt"}));
    EXPECT_EQ(column(records("transa20240115.txt").value(0), 3), "00001");
    EXPECT_EQ(column(records("transa20240116.txt").value(0), 3), "00002");
}

TEST_F(ImportTransaTest, BadValuesEndTheConversionWithTheirMessage)
{
    struct Case
    {
        Tx tx;
        Instruction instruction;
        QString message;
    };
    Tx badDate;
    badDate.dateTime = "2024-1-15";
    Tx badValue;
    badValue.value = "1,234.5";
    Tx badAccount;
    badAccount.account = "12A";
    Instruction emptyPrice;
    emptyPrice.price = "";
    Instruction badSettlement;
    badSettlement.settlementDate = "2024-02-30";
    const Case cases[] = {
        {badDate, Instruction(), "'1-' is not a valid integer value"},
        {badValue, Instruction(), "'1,234,5' is not a valid floating point value"},
        {Tx(), emptyPrice, "'' is not a valid floating point value"},
        {Tx(), badSettlement, "Invalid argument to date encode"},
    };
    for (const Case &c : cases) {
        convert({c.tx}, {c.instruction});
        EXPECT_EQ(result, "\r\n" + c.message);
        EXPECT_TRUE(output.files().isEmpty());
    }
    convert({badAccount});
    EXPECT_TRUE(result.startsWith("\r\n'12A'")) << result.toStdString();
    for (const char *value : {"inf", "nan", "1.2.3", "--5", "5-", "1e", "0x10", "12 EUR", "+-3", "12€"}) {
        Tx tx;
        tx.value = value;
        convert({tx});
        EXPECT_EQ(result,
                  "\r\n'" + QString(value).replace('.', ',') + "' is not a valid floating point value");
    }
}

TEST_F(ImportTransaTest, AFolderThatCannotBeWrittenEndsTheConversion)
{
    input.write("MemberTransactions.xml", transactionsXml({Tx()}));
    TImportTransa converter(program.path());
    converter.Alias = host->alias();
    converter.InputFolder = input.path();
    converter.OutputFolder = output.filePath("missing");
    converter.TargetMemberCode = "ABC";
    converter.Execute(result);
    EXPECT_TRUE(result.startsWith("\r\nCannot create file \"" + output.filePath("missing")))
        << result.toStdString();
    EXPECT_EQ(converter.status(), ConversionStatus::Failed);
}

TEST_F(ImportTransaTest, AFileThatCannotBeWrittenEndsTheConversionUntagged)
{
    if (!plantFullDevice(output.filePath("transa20240116.txt")))
        GTEST_SKIP() << "no full device can be made here";
    Tx sixteenth;
    sixteenth.dateTime = "2024-01-16T08:00:00";
    convert({Tx(), sixteenth});
    EXPECT_TRUE(result.startsWith("\r\nCannot write file " + output.filePath("transa20240116.txt") + ": "))
        << result.toStdString();
    EXPECT_EQ(status, ConversionStatus::Failed);
    EXPECT_EQ(output.files(), QStringList{"transa20240115.txt"}); // the full device is listed as no file
    EXPECT_EQ(records("transa20240115.txt").size(), 1);
}

TEST_F(ImportTransaTest, AMemberCodeLeadingOutOfTheFolderIsRefusedBeforeDeleting)
{
    output.write("transa.txt", "kept\r\n");
    input.write("MemberTransactions.xml", transactionsXml({Tx()}));
    convert("../ABC");
    EXPECT_EQ(status, ConversionStatus::Failed);
    EXPECT_EQ(output.files(), QStringList{"transa.txt"});
}

TEST_F(ImportTransaTest, FileSuffixNamesThePeriodReport)
{
    Tx suffixed;
    suffixed.number = "7777";
    input.write("MemberTransactions.xml", transactionsXml({Tx()}));
    input.write("MemberTransactions_2.xml", transactionsXml({suffixed}));
    convert("ABC", "2");
    EXPECT_EQ(column(onlyRecord(), 24), left("7777", 20));
}

TEST_F(ImportTransaTest, CurrentDayReportWithoutToDateSettlesToday)
{
    ScopedClock clock(QDate(2024, 3, 1));
    input.write("MemberTransactionsCurrentDay.xml",
                transactionsXml({Tx()}, QString(), "MemberTransactionsCurrentDay"));
    convert<TImportTransaToday>();
    EXPECT_EQ(result, "\r\nimport transa OK");
    EXPECT_EQ(column(onlyRecord(), 21), "001032024");

    // An empty ToDate, as the period conversion sees it, is no date there.
    input.write("MemberTransactions.xml", transactionsXml({Tx()}, ""));
    convert();
    EXPECT_EQ(result, "\r\n'' is not a valid integer value");
}

TEST_F(ImportTransaTest, CurrentDayReportTakesItsToDateWhenGiven)
{
    input.write("MemberTransactionsCurrentDay.xml",
                transactionsXml({Tx()}, "2024-01-20T00:00:00", "MemberTransactionsCurrentDay"));
    convert<TImportTransaToday>();
    EXPECT_EQ(column(onlyRecord(), 21), "020012024");

    input.write("MemberTransactionsCurrentDay.xml",
                transactionsXml({Tx()}, "20.01.2024", "MemberTransactionsCurrentDay"));
    convert<TImportTransaToday>();
    EXPECT_EQ(result, "\r\n'20.0' is not a valid integer value");
}

TEST_F(ImportTransaTest, CurrentDayConversionReplacesThePeriodFilesOfTheMember)
{
    input.write("MemberTransactions.xml", transactionsXml({Tx()}));
    convert();
    output.write("transa20240115_ABC.txt", "period\r\n");
    Tx today;
    today.dateTime = "2024-01-16";
    // The period report's element is not read by the current-day conversion.
    input.write("MemberTransactionsCurrentDay.xml",
                transactionsXml({today}, "", "MemberTransactionsCurrentDay"));
    convert<TImportTransaToday>();
    EXPECT_EQ(output.files(), QStringList{"transa_ABC.txt"});
    EXPECT_EQ(column(onlyRecord(), 29), right("2024-01-16", 25));
}

// The same conversion against a host database on PostgreSQL, directly and through ODBC.
class ImportTransaServerTest : public ImportTransaTest, public testing::WithParamInterface<HostEngine>
{
protected:
    HostEngine engine() const override { return GetParam(); }
};
INSTANTIATE_TEST_SUITE_P(Engines, ImportTransaServerTest,
                         testing::Values(HostEngine::PostgreSQL, HostEngine::ODBC),
                         [](const testing::TestParamInfo<HostEngine> &info) {
                             return hostEngineName(info.param);
                         });

TEST_P(ImportTransaServerTest, ConvertsWithTheHostSettingAndTheSecurityLookup)
{
    setMoveSequence("N");
    Tx missing;
    missing.isin = "SI0000000009";
    missing.dateTime = "2024-01-16";
    convert({Tx(), missing});
    EXPECT_EQ(result, "\r\n\r\nManjka VP za ISIN:SI0000000009");
    const QByteArray found = records("transa20240115_ABC.txt").value(0);
    EXPECT_EQ(column(found, 2) + column(found, 3), "00000500100001");
    EXPECT_EQ(column(found, 11), "KRKG        ");
    EXPECT_EQ(column(records("transa20240116_ABC.txt").value(0), 11), QByteArray(12, ' '));
}

class TransaDispatchTest : public ImportTransaTest
{
protected:
    RecordingMessenger messenger;
    ImportRequest request;

    void SetUp() override
    {
        ImportTransaTest::SetUp();
        request.programFolder = program.path();
        request.OwnMemberCode = "ABC";
        request.DatabaseAlias = host->alias();
        request.DatabaseUser = userName();
        request.InputFolder = input.path();
        request.OutputFolder = output.path();
        request.RunStartTime = runStart;
        input.write("MemberSettlementInstructions.xml", instructionsXml({Instruction()}));
    }
};

TEST_F(TransaDispatchTest, BothTransactionsTypesHaveTheirConverter)
{
    struct Case
    {
        QString label;
        QString logLine;
        QString file;
        QString bodyElement;
    };
    const Case cases[] = {
        {"Transakcije", "Import transa", "MemberTransactions_7.xml", "MemberTransactions"},
        {"Dnevne Transakcije", "Import transa CurrentDay", "MemberTransactionsCurrentDay_7.xml",
         "MemberTransactionsCurrentDay"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label.toStdString());
        messenger.lines.clear();
        input.write(c.file, transactionsXml({Tx()}, "2024-01-31", c.bodyElement));
        request.label = c.label;
        request.FileSuffix = "7";
        const ImportOutcome outcome = DoImport(request, messenger, standardDispatchTable());
        EXPECT_EQ(outcome.result, ImportResult::Succeeded);
        ASSERT_EQ(messenger.lines.size(), 4);
        EXPECT_EQ(messenger.lines[1], c.logLine);
        EXPECT_EQ(messenger.lines[2], "\r\nimport transa OK");
        EXPECT_EQ(column(onlyRecord(), 11), "KRKG        ");
    }
}

TEST_F(TransaDispatchTest, TheTransaImportPreferenceReachesTheLookup)
{
    host->exec("INSERT INTO SFVP VALUES (2, 'SI0031102120', 'KRKG2', NULL, 'D')");
    input.write("MemberTransactions.xml", transactionsXml({Tx()}));
    request.label = "Transakcije";
    for (const bool preferred : {false, true}) {
        request.TransaImportPreferred = preferred;
        DoImport(request, messenger, standardDispatchTable());
        EXPECT_EQ(column(onlyRecord(), 11), preferred ? "KRKG2       " : "KRKG        ");
    }
}

TEST_F(TransaDispatchTest, VornConvertRunsBothConverters)
{
    program.write("VornImport.ini", ("[Nastavitve]\r\nVhodniImenik=" + input.path() +
                                     "\r\nIzhodniImenik=" + output.path() + "\r\n")
                                        .toUtf8());
    host->exec("INSERT INTO INISET VALUES ('OZNAKACLANA', 'ABC')");
    struct Case
    {
        QString typeText;
        QString logLine;
        QString file;
        QString bodyElement;
    };
    const Case cases[] = {
        {"Transakcije - MemberTransactions", "Import transa", "MemberTransactions.xml", "MemberTransactions"},
        {"Dnevne Transakcije", "Import transa CurrentDay", "MemberTransactionsCurrentDay.xml",
         "MemberTransactionsCurrentDay"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typeText.toStdString());
        input.write(c.file, transactionsXml({Tx()}, "2024-01-31", c.bodyElement));
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        const int exitCode = RunVornConvert({host->alias(), "user", "password", "--type", c.typeText},
                                            program.path(), out, err);
        EXPECT_EQ(exitCode, 0) << errText.toStdString();
        EXPECT_TRUE(outText.contains("\n" + c.logLine + "\n\nimport transa OK\n")) << outText.toStdString();
        EXPECT_EQ(column(onlyRecord(), 7), "ABC  ");
    }
}

} // namespace

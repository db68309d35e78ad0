#include "conversion/ImportRacuni.h"

#include "ConverterTestData.h"
#include "ScopedClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>

namespace {

const QDate kToday(2024, 2, 10);

// Converts without the host database, which the accounts conversion never asks.
class RacuniConversion : public TImportRacuni
{
public:
    using TImportRacuni::Convert;
    using TImportRacuni::TImportRacuni;
};

QByteArray holderXml(const XmlElements &changes = {})
{
    return "<AccountHolder>" +
           xmlElements({{"PrimaryHolder", "true"},
                        {"IdentificationNumberType", "EMSO"},
                        {"IdentificationNumber", "0105970500123"},
                        {"PartyType", "NP"},
                        {"BirthDate", "1970-05-01"},
                        {"DisplayName", "Čuk Žiga"},
                        {"PermanentStreet", "Šubičeva ulica 3"},
                        {"PermanentPostalCode", "1000"},
                        {"PermanentCity", "Ljubljana"},
                        {"MailingStreet", "Poštni predal 12"},
                        {"Person", "Ana Novak"},
                        {"BusinessPhone", "+386 1 234 56 78"},
                        {"BIC", "LJBASI2X"},
                        {"Comment", "abc"},
                        {"AccountHolderLEI", "5299000J2N45DDNE4Y28"}},
                       changes) +
           "</AccountHolder>";
}

QByteArray accountXml(const QByteArray &holders, const XmlElements &changes = {})
{
    return "<MemberAccount>" +
           xmlElements({{"AccountType", "C"},
                        {"AccountNumber", "1000234"},
                        {"IBAN", "SI56191000000123438"},
                        {"AccountName", "Čuk Žiga"},
                        {"MemberReference", "REF-234"},
                        {"OpenDate", "2010-05-04T00:00:00"},
                        {"CloseDate", ""}},
                       changes) +
           holders + "</MemberAccount>";
}

QByteArray accountsReport(const QByteArray &accounts)
{
    return reportXml("<MemberAccounts><MemberCode>KDDU</MemberCode>" + accounts + "</MemberAccounts>");
}

// The fields of a holder record up to the holder's name, for the default account.
ExpectedRecord recordStart(const QByteArray &identification = "0105970500123")
{
    return ExpectedRecord()
        .left("KDDU", 6)
        .right("1000234", 9)
        .left("REF-234", 40)
        .left(identification, 15)
        .left(identification, 15);
}

// The fields from the first "SVN" to the status date.
ExpectedRecord &addCountryToStatusDate(ExpectedRecord &record, const QByteArray &phone)
{
    return record.left("SVN", 3)
        .blank(40 + 10 + 25 + 5)
        .left("SVN", 3)
        .left(phone, 15)
        .left("SI56191000000123438", 60)
        .raw("031012024");
}

// The record of the default holder with the given date, kind letter, type letter and LEI.
QByteArray holderRecord(const QByteArray &date = "001051970", const QByteArray &kind = "N",
                        const QByteArray &type = "C", const QByteArray &lei = "5299000J2N45DDNE4Y28")
{
    ExpectedRecord record = recordStart();
    record.raw(date)
        .left("\xC8uk \x8Eiga", 40)
        .left("LJBASI2X", 15)
        .left("Ana Novak", 40)
        .left("\x8Aubi\xE8"
              "eva ulica 3",
              40)
        .left("1000", 10)
        .left("Ljubljana", 25)
        .blank(5);
    addCountryToStatusDate(record, "+386 1 234 56 7").right("abc", 10).left(kind, 1).left(type, 1);
    return record.raw("04052010").left(lei, 20).line();
}

// The record of an account without holders.
QByteArray accountRecord(const QByteArray &kind = "N")
{
    ExpectedRecord record =
        ExpectedRecord().left("KDDU", 6).right("1000234", 9).left("REF-234", 40).blank(30);
    record.raw("010022024").blank(40 + 15 + 40 + 40 + 10 + 25 + 5);
    addCountryToStatusDate(record, "").raw("0000000000").left(kind, 1).blank(1);
    return record.raw("04052010").blank(20).line();
}

class ImportRacuniTest : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    ScopedClock clock{kToday};
    QString result;
    std::function<void(TImportRacuni &)> configure = [](TImportRacuni &) {};

    void SetUp() override { program.write("tipi.ini", ""); }

    // Converts the report and releases the converter; returns the status.
    ConversionStatus convert(const QByteArray &report)
    {
        input.write("MemberAccounts.xml", report);
        return convertStored();
    }

    ConversionStatus convertStored()
    {
        RacuniConversion conversion(program.path());
        conversion.InputFolder = input.path();
        conversion.OutputFolder = output.path();
        conversion.OutputMode = "0";
        configure(conversion);
        conversion.Convert(result);
        conversion.Release();
        return conversion.status();
    }
};

TEST_F(ImportRacuniTest, HolderRecordCarriesEveryFieldAtItsPosition)
{
    ASSERT_EQ(convert(accountsReport(accountXml(holderXml()))), ConversionStatus::Succeeded);
    EXPECT_EQ(result, "import racuni OK");
    const QByteArray file = output.read("racuni.txt");
    EXPECT_EQ(file, holderRecord());
    EXPECT_EQ(file.size(), 479 + 2);
}

TEST_F(ImportRacuniTest, AccountWithoutHoldersGivesOneAccountRecord)
{
    convert(accountsReport(accountXml("")));
    EXPECT_EQ(output.read("racuni.txt"), accountRecord());
}

TEST_F(ImportRacuniTest, EveryHolderGetsARecordInDocumentOrder)
{
    convert(accountsReport(accountXml(holderXml() + holderXml({{"Comment", "xyz"}}))));
    QByteArray second = holderRecord();
    second.replace(439, 10, "       xyz");
    EXPECT_EQ(output.read("racuni.txt"), holderRecord() + second);
}

struct KindCase
{
    const char *accountType;
    std::optional<QByteArray> holderKind;  // kind and type letters of a holder record; none: no record
    std::optional<QByteArray> accountKind; // kind letter of the account record; none: no record
};

TEST_F(ImportRacuniTest, KindLetterFollowsTheFirstCharacterOfTheAccountType)
{
    const KindCase cases[] = {
        {"C", "NC", "N"}, {"CUSTODY", "NC", "N"}, {"H", "LH", "L"}, {"P", "UP", "U"},
        {"T", " T", " "}, {"U", "NU", "N"},       {"F", "FF", "F"}, {"c", "cc", "c"},
        {"V", {}, {}},    {"VX", {}, {}},         {"G", {}, "G"},   {"", "  ", " "},
    };
    for (const KindCase &kind : cases) {
        SCOPED_TRACE(kind.accountType);
        convert(accountsReport(accountXml(holderXml(), {{"AccountType", kind.accountType}}) +
                               accountXml("", {{"AccountType", kind.accountType}})));
        QByteArray expected;
        if (kind.holderKind)
            expected += holderRecord("001051970", kind.holderKind->left(1), kind.holderKind->mid(1));
        if (kind.accountKind)
            expected += accountRecord(*kind.accountKind);
        EXPECT_EQ(output.read("racuni.txt"), expected);
        EXPECT_EQ(result, "import racuni OK");
    }
}

TEST_F(ImportRacuniTest, BirthDateOnlyForNaturalPersonsOtherwiseToday)
{
    convert(accountsReport(accountXml(holderXml({{"PartyType", "PO"}, {"BirthDate", std::nullopt}}) +
                                      holderXml({{"PartyType", "np"}, {"BirthDate", "bad"}}))));
    EXPECT_EQ(output.read("racuni.txt"), holderRecord("010022024") + holderRecord("010022024"));
    EXPECT_EQ(result, "import racuni OK");
}

TEST_F(ImportRacuniTest, BirthDateInDateTimeFormGivesItsDate)
{
    convert(accountsReport(accountXml(holderXml({{"BirthDate", "1970-05-01T23:59:59+02:00"}}))));
    EXPECT_EQ(output.read("racuni.txt"), holderRecord());
}

TEST_F(ImportRacuniTest, LeiFromTheLeiElementOrAnIdentificationNumberOfTypeLei)
{
    const QByteArray lei = "549300ABCDEFGHIJ1234";
    convert(accountsReport(
        accountXml(holderXml() +
                   holderXml({{"AccountHolderLEI", std::nullopt},
                              {"IdentificationNumberType", "LEI"},
                              {"IdentificationNumber", lei}}) +
                   holderXml({{"AccountHolderLEI", std::nullopt}, {"IdentificationNumberType", "lei"}}))));
    QByteArray second = holderRecord("001051970", "N", "C", lei);
    second.replace(55, 30, ExpectedRecord().left(lei, 15).left(lei, 15).bytes());
    EXPECT_EQ(output.read("racuni.txt"), holderRecord() + second + holderRecord("001051970", "N", "C", ""));
}

TEST_F(ImportRacuniTest, AnLeiElementWinsOverAnIdentificationNumberOfTypeLei)
{
    convert(accountsReport(accountXml(holderXml({{"IdentificationNumberType", "LEI"}}))));
    EXPECT_EQ(output.read("racuni.txt"), holderRecord());
}

TEST_F(ImportRacuniTest, OnlyActiveSkipsAccountsClosedBeforeToday)
{
    const QByteArray report =
        accountsReport(accountXml("", {{"AccountType", "C"}, {"CloseDate", "2024-02-09"}}) +
                       accountXml("", {{"AccountType", "H"}, {"CloseDate", "2024-02-09T23:59:59"}}) +
                       accountXml("", {{"AccountType", "P"}, {"CloseDate", "2024-02-10"}}) +
                       accountXml("", {{"AccountType", "U"}, {"CloseDate", "2024-02-10T00:00:00"}}) +
                       accountXml("", {{"AccountType", "F"}, {"CloseDate", std::nullopt}}) +
                       accountXml("", {{"AccountType", "X"}, {"CloseDate", ""}}));
    configure = [](TImportRacuni &conversion) { conversion.OnlyActive = true; };
    convert(report);
    EXPECT_EQ(output.read("racuni.txt"),
              accountRecord("U") + accountRecord("N") + accountRecord("F") + accountRecord("X"));

    configure = [](TImportRacuni &) {};
    convert(report);
    EXPECT_EQ(output.read("racuni.txt"), accountRecord("N") + accountRecord("L") + accountRecord("U") +
                                             accountRecord("N") + accountRecord("F") + accountRecord("X"));
}

TEST_F(ImportRacuniTest, TodayIsTakenWhenTheRecordIsBuilt)
{
    clock.set(QDateTime(QDate(2024, 2, 11), QTime(0, 0)));
    configure = [](TImportRacuni &conversion) { conversion.OnlyActive = true; };
    convert(accountsReport(accountXml("", {{"CloseDate", "2024-02-10"}}) +
                           accountXml(holderXml({{"PartyType", "PO"}}), {{"CloseDate", "2024-02-11"}})));
    EXPECT_EQ(output.read("racuni.txt"), holderRecord("011022024"));
}

TEST_F(ImportRacuniTest, OnlyActiveFailsOnAMalformedCloseDate)
{
    configure = [](TImportRacuni &conversion) { conversion.OnlyActive = true; };
    EXPECT_EQ(convert(accountsReport(accountXml("") + accountXml("", {{"CloseDate", "2024-2-9"}}))),
              ConversionStatus::Failed);
    EXPECT_EQ(result, "'2-' is not a valid integer value");
    EXPECT_EQ(output.read("racuni.txt"), accountRecord());
}

TEST_F(ImportRacuniTest, UnreadablePostalCodeAndCommentBecomeBlanks)
{
    convert(accountsReport(
        accountXml(holderXml({{"PermanentPostalCode", "<Code>1000</Code>"}, {"Comment", "a<b/>c"}}))));
    QByteArray expected = holderRecord();
    expected.replace(229, 10, QByteArray(10, ' '));
    expected.replace(439, 10, QByteArray(10, ' '));
    EXPECT_EQ(output.read("racuni.txt"), expected);
    EXPECT_EQ(result, "import racuni OK");
}

TEST_F(ImportRacuniTest, LongTextsAreCutToTheirFields)
{
    const QByteArray reference(50, 'R');
    convert(accountsReport(
        accountXml(holderXml({{"Comment", "12345678901234"}}), {{"MemberReference", reference}})));
    QByteArray expected = holderRecord();
    expected.replace(15, 40, reference.left(40));
    expected.replace(439, 10, "1234567890");
    EXPECT_EQ(output.read("racuni.txt"), expected);
}

TEST_F(ImportRacuniTest, AnErrorKeepsTheRecordsBuiltBeforeIt)
{
    EXPECT_EQ(convert(accountsReport(accountXml(holderXml()) + accountXml("", {{"AccountNumber", ""}}) +
                                     accountXml(holderXml()))),
              ConversionStatus::Failed);
    EXPECT_EQ(result, "Could not convert variant of type (Null) into type (Int64)");
    EXPECT_EQ(output.read("racuni.txt"), holderRecord());
}

struct FailureCase
{
    const char *name;
    XmlElements account;
    XmlElements holder;
    const char *message;
};

TEST_F(ImportRacuniTest, BadValuesStopTheConversionWithTheirMessage)
{
    const FailureCase cases[] = {
        {"empty LEI element",
         {},
         {{"AccountHolderLEI", ""}},
         "Could not convert variant of type (Null) into type (OleStr)"},
        {"empty open date", {{"OpenDate", ""}}, {}, "'' is not a valid integer value"},
        {"malformed open date", {{"OpenDate", "2024-02-30"}}, {}, "Invalid argument to date encode"},
        {"empty birth date", {}, {{"BirthDate", std::nullopt}}, "'' is not a valid integer value"},
        {"account number not a number", {{"AccountNumber", "12a"}}, {}, "'12a' is not a valid integer value"},
    };
    for (const FailureCase &failure : cases) {
        SCOPED_TRACE(failure.name);
        EXPECT_EQ(convert(accountsReport(accountXml(holderXml(), {}) +
                                         accountXml(holderXml(failure.holder), failure.account))),
                  ConversionStatus::Failed);
        EXPECT_EQ(result, failure.message);
        EXPECT_EQ(output.read("racuni.txt"), holderRecord());
    }
}

TEST_F(ImportRacuniTest, EmptyStatusDateFailsOnlyWhenARecordIsBuilt)
{
    input.write("MemberAccounts.xml",
                reportXml("<MemberAccounts><MemberCode>KDDU</MemberCode></MemberAccounts>", ""));
    EXPECT_EQ(convertStored(), ConversionStatus::Succeeded);
    EXPECT_EQ(output.read("racuni.txt"), "");
    EXPECT_TRUE(output.exists("racuni.txt"));

    input.write("MemberAccounts.xml", reportXml("<MemberAccounts><MemberCode>KDDU</MemberCode>" +
                                                    accountXml("") + "</MemberAccounts>",
                                                ""));
    EXPECT_EQ(convertStored(), ConversionStatus::Failed);
    EXPECT_EQ(result, "'' is not a valid integer value");
}

TEST_F(ImportRacuniTest, MissingReportLeavesAnEmptyFileInPlaceOfTheOldOne)
{
    output.write("racuni.txt", "old\r\n");
    EXPECT_EQ(convertStored(), ConversionStatus::Failed);
    EXPECT_FALSE(result.isEmpty());
    EXPECT_TRUE(output.exists("racuni.txt"));
    EXPECT_EQ(output.read("racuni.txt"), "");
}

TEST_F(ImportRacuniTest, SqlModeWritesTheSqlFile)
{
    configure = [](TImportRacuni &conversion) { conversion.OutputMode = "S"; };
    convert(accountsReport(accountXml(holderXml())));
    EXPECT_EQ(result, "import racuni_sql OK");
    EXPECT_EQ(output.files(), QStringList{"racuni_sql.txt"});
    EXPECT_EQ(output.read("racuni_sql.txt"), holderRecord());
}

struct MemberCase
{
    const char *target;
    const char *own;
    const char *fileName;
};

TEST_F(ImportRacuniTest, ARemoteMembersAccountsGoToAFileOfTheirOwn)
{
    const MemberCase cases[] = {
        {"", "OWN", "racuni.txt"},          {"OWN", "OWN", "racuni.txt"},     {"", "", "racuni.txt"},
        {"ABC", "OWN", "racuni_ABC.txt"},   {"own", "OWN", "racuni_own.txt"}, {"ABC", "", "racuni_ABC.txt"},
        {"OWN ", "OWN", "racuni_OWN .txt"},
    };
    for (const MemberCase &member : cases) {
        SCOPED_TRACE(member.target);
        TempDir folder;
        configure = [&](TImportRacuni &conversion) {
            conversion.TargetMemberCode = member.target;
            conversion.OwnMemberCode = member.own;
            conversion.OutputFolder = folder.path();
        };
        convert(accountsReport(accountXml(holderXml())));
        EXPECT_EQ(folder.files(), QStringList{member.fileName});
        EXPECT_EQ(folder.read(member.fileName), holderRecord());
    }
}

TEST_F(ImportRacuniTest, ARemoteMemberLeavesTheOwnMembersFileAlone)
{
    output.write("racuni.txt", "own member's accounts\r\n");
    const QDateTime written = QFileInfo(output.filePath("racuni.txt")).lastModified();
    configure = [&](TImportRacuni &conversion) {
        conversion.TargetMemberCode = "ABC";
        conversion.OwnMemberCode = "OWN";
        conversion.RunStartTime = written.addSecs(1);
    };
    convert(accountsReport(accountXml(holderXml())));
    EXPECT_EQ(output.files(), (QStringList{"racuni.txt", "racuni_ABC.txt"}));
    EXPECT_EQ(output.read("racuni.txt"), "own member's accounts\r\n");
}

TEST_F(ImportRacuniTest, AMemberCodeLeadingOutOfTheFolderWritesNothing)
{
    configure = [](TImportRacuni &conversion) {
        conversion.TargetMemberCode = "../x";
        conversion.OwnMemberCode = "OWN";
    };
    EXPECT_EQ(convert(accountsReport(accountXml(holderXml()))), ConversionStatus::Failed);
    EXPECT_EQ(result, "Invalid member code \"../x\"");
    EXPECT_TRUE(output.files().isEmpty());
}

} // namespace

#include "ConverterTestData.h"
#include "VornConvertFixture.h"

#include <gtest/gtest.h>

namespace {

QByteArray accountXml(const QByteArray &closeDate)
{
    return "<MemberAccount><AccountType>C</AccountType><AccountNumber>1000234</AccountNumber>"
           "<AccountHolder><PartyType>PO</PartyType><DisplayName>Čuk d.o.o.</DisplayName></AccountHolder>"
           "<OpenDate>2010-05-04</OpenDate><CloseDate>" +
           closeDate + "</CloseDate></MemberAccount>";
}

QByteArray allocationXml(const QByteArray &isin, const QByteArray &tradeDateTime)
{
    return "<MemberAllocation><TicketNumber>1</TicketNumber><TradeSide>SELL</TradeSide>"
           "<TradeAccountNumber>2</TradeAccountNumber><IsinCode>" +
           isin +
           "</IsinCode><Volume>3</Volume><AllocationMemberCode>BKSL</AllocationMemberCode>"
           "<AllocationAccountNumber>4</AllocationAccountNumber><AllocationActionType>CREATE</"
           "AllocationActionType>"
           "<TradeDateTime>" +
           tradeDateTime +
           "</TradeDateTime><SettlementDate>2024-01-17</SettlementDate>"
           "<AllocationDateTime>2024-01-15T12:00:00</AllocationDateTime></MemberAllocation>";
}

QByteArray allocationsReport(const QByteArray &element, const QByteArray &allocations)
{
    return reportXml("<" + element + "><MemberCode>M1</MemberCode>" + allocations + "</" + element + ">");
}

// The accounts and allocations reports converted by the VornConvert executable.
class VornConvertRacuniRazporTest : public VornConvertFixture
{
protected:
    void SetUp() override
    {
        install("");
        input.write("MemberAccounts.xml",
                    reportXml("<MemberAccounts><MemberCode>M1</MemberCode>" + accountXml("2000-01-01") +
                              accountXml("") + "</MemberAccounts>"));
    }

    ProcessRun convert(const QStringList &options) { return run(login() + options); }

    // The records of an output file, without their line ends.
    QList<QByteArray> records(const QString &name) const
    {
        QList<QByteArray> lines = output.read(name).split('\n');
        EXPECT_EQ(lines.takeLast(), "") << name.toStdString();
        for (QByteArray &line : lines) {
            EXPECT_TRUE(line.endsWith('\r'));
            line.chop(1);
        }
        return lines;
    }
};

TEST_F(VornConvertRacuniRazporTest, ConvertsTheAccountsOfTheOwnMember)
{
    const ProcessRun run = convert({"--type", "Računi - MemberAccounts"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(run.lines().size(), 4);
    EXPECT_EQ(run.lines().mid(1, 2), (QStringList{"Import računi", "import racuni OK"}));
    EXPECT_EQ(output.files(), QStringList{"racuni.txt"});
    const QList<QByteArray> lines = records("racuni.txt");
    ASSERT_EQ(lines.size(), 2);
    for (const QByteArray &line : lines) {
        EXPECT_EQ(line.size(), 479);
        EXPECT_EQ(line.mid(94, 10), "\xC8uk d.o.o.");
        EXPECT_EQ(line.mid(449, 2), "NC");
    }
}

TEST_F(VornConvertRacuniRazporTest, ARemoteMembersActiveAccountsGoToItsOwnFile)
{
    const ProcessRun run = convert({"--type", "Računi", "--member", "ABC", "--only-active"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(output.files(), QStringList{"racuni_ABC.txt"});
    EXPECT_EQ(records("racuni_ABC.txt").size(), 1);
}

TEST_F(VornConvertRacuniRazporTest, ConvertsThePeriodAllocationsOfAMember)
{
    input.write(
        "MemberAllocations.xml",
        allocationsReport("MemberAllocations", allocationXml("SI0031102120", "2024-01-15T09:05:03") +
                                                   allocationXml("SI0031102120", "2024-01-16T10:00:00")));
    const ProcessRun run = convert({"--type", "Razporeditve - MemberAllocations", "--member", "ABC"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.lines().mid(1, 2), (QStringList{"Import razpor", "import razpor OK"}));
    EXPECT_EQ(output.files(), (QStringList{"razpor20240115_ABC.txt", "razpor20240116_ABC.txt"}));
    const QList<QByteArray> lines = records("razpor20240116_ABC.txt");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], ExpectedRecord()
                            .blank(1)
                            .left("BKSL", 5)
                            .left("S", 1)
                            .left("1", 8)
                            .left("KRKG", 12)
                            .left("SI0031102120", 12)
                            .raw("0000000000000003")
                            .right("4", 11)
                            .right("2", 11)
                            .blank(41)
                            .raw("015012024016012024017012024C100000")
                            .bytes());
}

TEST_F(VornConvertRacuniRazporTest, ConvertsTheCurrentDayAllocationsWithAFileSuffix)
{
    input.write("MemberAllocations.xml",
                allocationsReport("MemberAllocations", allocationXml("SI0031102120", "2024-01-14T09:05:03")));
    input.write("MemberAllocationsCurrentDay_R7.xml",
                allocationsReport("MemberAllocationsCurrentDay",
                                  allocationXml("SI0000000099", "2024-01-15T09:05:03")));
    const ProcessRun run = convert({"--type", "Dnevne Razporeditve", "--suffix", "R7"});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_EQ(run.lines().mid(1, 2), (QStringList{"Import razpor", "Manjka VP za ISIN:SI0000000099"}));
    EXPECT_EQ(output.files(), QStringList{"razpor_OWN.txt"});
    EXPECT_EQ(records("razpor_OWN.txt").value(0).mid(15, 24), QByteArray(12, ' ') + "SI0000000099");
}

} // namespace

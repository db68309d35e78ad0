#include "retrieval/ReportCatalogue.h"

#include "RecordingMessenger.h"

#include <gtest/gtest.h>

namespace {
const ReportType &entry(int number)
{
    return ReportCatalogue()[number - 1];
}

class PrepareRequestTest : public testing::Test
{
protected:
    PrepareRequestTest()
    {
        remoteMembers[0] = {"R1", "https", "remote1/Members.svc", "S1", "p1", "MY"};
        remoteMembers[1] = {"R2", "http", "remote2/svc/Members.svc/", "S2", "p2", "MY"};
        messenger.debugEnabled = true;
    }

    QString prepare(int number, const QString &memberBoxText = " ")
    {
        const RequestInputs inputs{memberBoxText,      remoteMembers, current,   QDate(2024, 3, 1),
                                   QDate(2024, 3, 15), isin,          caseNumber};
        return PrepareRequest(entry(number).requestTemplate, inputs, messenger);
    }

    RemoteMemberTable remoteMembers;
    Endpoint current{"M1", "https", "host/svc/Members.svc/", "SKI", "path", "MY"};
    QString isin = "SI0031102120";
    QString caseNumber = "CA-2024-17";
    RecordingMessenger messenger;
};
} // namespace

TEST(ReportCatalogueTest, FourteenEntriesWithLabelsAndOperationNames)
{
    ASSERT_EQ(ReportCatalogue().size(), 14u);
    for (int number = 1; number <= 14; ++number) {
        const ReportType &type = entry(number);
        EXPECT_EQ(type.number, number);
        EXPECT_EQ(type.listEntry, type.label() + " - " + type.operationName);
        EXPECT_EQ(SelectReportType(type.listEntry), &type) << type.listEntry.toStdString();
    }
    EXPECT_EQ(entry(2).label(), "Stanja");
    EXPECT_EQ(entry(7).label(), QString::fromUtf8("Dnevne Teoretične vrednosti"));
    EXPECT_EQ(entry(8).operationName, "PublicSharebookTop50All");
    EXPECT_EQ(entry(8).requestTemplate, "SharebookTop50All");
    QList<int> publicEntries;
    for (const ReportType &type : ReportCatalogue()) {
        if (type.isPublic)
            publicEntries << type.number;
    }
    EXPECT_EQ(publicEntries, QList<int>({7, 8, 11}));
}

TEST(ReportCatalogueTest, ReportLabelIsTheTrimmedTextBeforeTheFirstDash)
{
    EXPECT_EQ(ReportLabel("Stanja - MemberAccountPositions"), "Stanja");
    EXPECT_EQ(ReportLabel("  Transakcije izven trga - A - B"), "Transakcije izven trga");
    EXPECT_EQ(ReportLabel("Stanja"), "");
    EXPECT_EQ(ReportLabel(" - MemberAccounts"), "");
    EXPECT_EQ(ReportLabel(""), "");
}

TEST(ReportCatalogueTest, SelectionTestsOperationNamesInTheFixedOrder)
{
    struct Case
    {
        const char *text;
        int expected; // 0: none
    };
    const Case cases[] = {
        {"Stanja - MemberAccountPositions", 2}, // not entry 1, although it starts with "MemberAccount"
        {"Transakcije - MemberTransactions", 3},
        {"x MemberTransactionsCurrentDay", 4},
        {"MemberAllocationsCurrentDay", 6},
        {"Razporeditve - MemberAllocations", 5},
        {"MemberAccounts MemberTransactions", 1}, // the first test that matches wins
        {"MemberOffMarketTransactionsAll", 9},
        {"memberaccounts", 0},                                   // case-sensitive
        {"Javna delniška knjiga TOP 50 - SharebookTop50All", 0}, // the template's name is not the list's
        {"", 0},
    };
    for (const Case &c : cases) {
        const ReportType *selected = SelectReportType(QString::fromUtf8(c.text));
        EXPECT_EQ(selected ? selected->number : 0, c.expected) << c.text;
    }
}

TEST(ReportCatalogueTest, ListHoldsEachEntryUnderItsCondition)
{
    auto numbers = [](const QStringList &entries) {
        QList<int> result;
        for (const QString &text : entries)
            result << SelectReportType(text)->number;
        return result;
    };
    EXPECT_EQ(numbers(ReportListEntries({})), QList<int>({1, 2, 3, 4, 5, 6, 8, 9, 10}));
    EXPECT_EQ(numbers(ReportListEntries({true, true, false})),
              QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(numbers(ReportListEntries({false, true, true})),
              QList<int>({1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(numbers(ReportListEntriesWithoutHost()), QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST_F(PrepareRequestTest, TransactionsForAPeriod)
{
    EXPECT_EQ(prepare(3), "https://host/svc/Members.svc/"
                          "MemberTransactions?MemberCode=M1&FromDate=2024.03.01&ToDate=2024.03.15");
    EXPECT_EQ(messenger.lines,
              QStringList{"Request:https://host/svc/Members.svc/"
                          "MemberTransactions?MemberCode=M1&FromDate=2024.03.01&ToDate=2024.03.15"});
}

TEST_F(PrepareRequestTest, PublicServiceReplacesTheMemberService)
{
    EXPECT_EQ(prepare(8), "https://host/svc/Public.svc/SharebookTop50All");
    EXPECT_EQ(prepare(7), "https://host/svc/Public.svc/DailyBondValues?EffectiveDate=2024.03.01");
    current.VornUri = "a/Members.svc/b/Members.svc/";
    EXPECT_EQ(prepare(11), "https://a/Public.svc/b/Public.svc/SharebookTXT?IsinCode=SI0031102120");
}

TEST_F(PrepareRequestTest, EveryTemplateGetsItsValues)
{
    const std::pair<int, const char *> cases[] = {
        {1, "https://host/svc/Members.svc/MemberAccounts?MemberCode=M1"},
        {2, "https://host/svc/Members.svc/MemberAccountPositions?MemberCode=M1"},
        {4, "https://host/svc/Members.svc/MemberTransactionsCurrentDay?MemberCode=M1"},
        {5, "https://host/svc/Members.svc/"
            "MemberAllocations?MemberCode=M1&FromDate=2024.03.01&ToDate=2024.03.15"},
        {9, "https://host/svc/Members.svc/"
            "MemberOffMarketTransactionsAll?MemberCode=M1&FromDate=2024.03.01&ToDate=2024.03.15"},
        {10, "https://host/svc/Members.svc/MemberCurrentAccounts4BTS?MemberCode=M1"},
        {12, "https://host/svc/Members.svc/"
             "MemberT2SSettlementInstructionsHistory?MemberCode=M1&FromDate=2024.03.01&ToDate=2024.03.15"},
        {13, "https://host/svc/Members.svc/"
             "MemberCorporateActionPayments?MemberCode=M1&CorporateActionCaseNumber=CA-2024-17"},
        {14,
         "https://host/svc/Members.svc/MemberT2SBankToCustomerStatement?MemberCode=M1&StatusDate=2024.03.01"},
    };
    for (const auto &[number, expected] : cases)
        EXPECT_EQ(prepare(number), expected) << number;
}

TEST_F(PrepareRequestTest, ValuesAreInsertedAsTheyStand)
{
    isin = "SI0031102120 ";
    EXPECT_EQ(prepare(11), "https://host/svc/Public.svc/SharebookTXT?IsinCode=SI0031102120 ");
    current.VornMemberCode = "A&B%20";
    EXPECT_EQ(prepare(1), "https://host/svc/Members.svc/MemberAccounts?MemberCode=A&B%20");
}

TEST_F(PrepareRequestTest, RemoteMemberUsesItsOwnEndpointAsStored)
{
    EXPECT_EQ(prepare(2, "R1"), "https://remote1/Members.svcMemberAccountPositions?MemberCode=R1");
    EXPECT_EQ(prepare(8, "R2"), "http://remote2/svc/Public.svc/SharebookTop50All");
    EXPECT_EQ(prepare(2, ""), "https://host/svc/Members.svc/MemberAccountPositions?MemberCode=M1");
}

TEST_F(PrepareRequestTest, UnknownMemberIsRefusedNamingTheCode)
{
    for (const char *text : {"R9", "r1", " R1", "R1 "}) { // exact, case-sensitive, untrimmed
        try {
            prepare(2, text);
            ADD_FAILURE() << "'" << text << "' accepted";
        } catch (const EUnknownRemoteMember &error) {
            EXPECT_TRUE(error.message().contains(QStringLiteral("\"%1\"").arg(text)))
                << error.message().toStdString();
        }
    }
    EXPECT_TRUE(messenger.lines.isEmpty()); // no request was prepared
}

TEST_F(PrepareRequestTest, ChooseEndpointGivesTheWholeRecord)
{
    const Endpoint configured{"M1", "https", "u/", "SKI", "path", "MY"};
    EXPECT_EQ(ChooseEndpoint("  ", configured, remoteMembers), configured);
    EXPECT_EQ(ChooseEndpoint("R2", configured, remoteMembers), remoteMembers[1]);
}

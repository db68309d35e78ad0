#include "reports/AllocationsReport.h"

#include "common/Exception.h"
#include "ReportFile.h"

#include <gtest/gtest.h>

using namespace AllocationsReport;

TEST(AllocationsReportTest, ReadsEveryFieldOfAnAllocation)
{
    ReportFile file(testData("MemberAllocations.xml"));
    TXMLMemberAllocations *report = BindWSResponse(file.document())->Body()->MemberAllocations();
    EXPECT_EQ(report->MemberCode(), "KDDU");
    ASSERT_EQ(report->MemberAllocation()->Count(), 2);
    TXMLMemberAllocation *a = report->MemberAllocation()->Items(0);
    EXPECT_EQ(a->TicketNumber(), 880011u);
    EXPECT_EQ(a->TradeSide(), "BUY");
    EXPECT_EQ(a->AllocationStatus(), "ACCEPTED");
    EXPECT_EQ(a->TradeAccountNumber(), 1000234u);
    EXPECT_EQ(a->IsinCode(), "SI0031102120");
    EXPECT_EQ(a->Volume(), 250);
    EXPECT_EQ(a->AllocationMemberCode(), "BKSL");
    EXPECT_EQ(a->AllocationAccountNumber(), 2000456u);
    EXPECT_EQ(a->AllocationOrderNumber(), 17u);
    EXPECT_EQ(a->AllocationSubaccountNumber(), 0u);
    EXPECT_EQ(a->AllocationActionType(), "CREATE");
    EXPECT_EQ(a->TradeDateTime(), "2024-01-31T11:45:09");
    EXPECT_EQ(a->SettlementDate(), "2024-02-02");
    EXPECT_EQ(a->AllocationDateTime(), "2024-01-31T12:00:00");
}

TEST(AllocationsReportTest, EmptyNumbersFailWithTheirType)
{
    ReportFile file(testData("MemberAllocations.xml"));
    TXMLMemberAllocation *a =
        BindWSResponse(file.document())->Body()->MemberAllocations()->MemberAllocation()->Items(1);
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { a->Volume(); }),
              "Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { a->AllocationAccountNumber(); }),
              "Could not convert variant of type (Null) into type (Int64)");
    EXPECT_EQ(a->AllocationStatus(), "");
}

TEST(AllocationsReportTest, EachReportIsReadThroughItsOwnBodyProperty)
{
    const struct
    {
        const char *file;
        int period;
        int currentDay;
    } cases[] = {
        {"MemberAllocations.xml", 2, 0},
        {"MemberAllocationsCurrentDay.xml", 0, 2},
    };
    for (const auto &c : cases) {
        ReportFile file(testData(c.file));
        TXMLBody *body = BindWSResponse(file.document())->Body();
        EXPECT_EQ(body->MemberAllocations()->MemberAllocation()->Count(), c.period) << c.file;
        EXPECT_EQ(body->MemberAllocationsCurrentDay()->MemberAllocation()->Count(), c.currentDay) << c.file;
    }
    ReportFile empty(reportXml("<MemberAllocations><MemberCode>KDDU</MemberCode></MemberAllocations>"));
    EXPECT_EQ(BindWSResponse(empty.document())->Body()->MemberAllocations()->MemberAllocation()->Count(), 0);
}

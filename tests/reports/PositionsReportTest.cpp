#include "reports/PositionsReport.h"

#include "common/Exception.h"
#include "ReportFile.h"

#include <gtest/gtest.h>

using namespace PositionsReport;

TEST(PositionsReportTest, ReadsEveryFieldOfAPosition)
{
    ReportFile file(testData("MemberAccountPositions.xml"));
    TXMLWSResponse *root = BindWSResponse(file.document());
    EXPECT_EQ(root->Header()->StatusDate(), "2024-01-31");
    TXMLMemberAccountPositions *report = root->Body()->MemberAccountPositions();
    EXPECT_EQ(report->MemberCode(), "KDDU");
    IXMLMemberAccountPositionList *positions = report->MemberAccountPosition();
    ASSERT_EQ(positions->Count(), 2);
    TXMLMemberAccountPosition *first = positions->Items(0);
    EXPECT_EQ(first->AccountNumber(), 1000234u);
    EXPECT_EQ(first->RawAccountNumber(), 234u);
    EXPECT_EQ(first->IBAN(), "SI56191000000123438");
    EXPECT_EQ(first->IsinCode(), "SI0031102120");
    EXPECT_EQ(first->TotalVolume(), 1500);
    EXPECT_EQ(first->AvailableVolume(), 1200);
    EXPECT_EQ(first->FrozenVolume(), 300);
    EXPECT_EQ(first->LastChangeDateTime(), "2024-01-30T09:15:00");
}

TEST(PositionsReportTest, EdgeValuesOfAPosition)
{
    ReportFile file(testData("MemberAccountPositions.xml"));
    TXMLMemberAccountPosition *second =
        BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberAccountPosition()->Items(1);
    EXPECT_EQ(second->AccountNumber(), 4294967295u);
    EXPECT_EQ(second->IBAN(), "");
    EXPECT_EQ(second->IsinCode(), " SI0021110513 ");
    EXPECT_EQ(second->TotalVolume(), -20);
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { second->FrozenVolume(); }),
              "Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(second->LastChangeDateTime(), "2023-12-29");
}

TEST(PositionsReportTest, EmptyAndMissingReports)
{
    const struct
    {
        const char *label;
        QByteArray body;
        const char *memberCode;
    } cases[] = {
        {"no positions", "<MemberAccountPositions><MemberCode>KDDU</MemberCode></MemberAccountPositions>",
         "KDDU"},
        {"no report element", "", ""},
        {"report of another kind", "<MemberAccounts><MemberCode>KDDU</MemberCode></MemberAccounts>", ""},
    };
    for (const auto &c : cases) {
        ReportFile file(reportXml(c.body));
        TXMLMemberAccountPositions *report =
            BindWSResponse(file.document())->Body()->MemberAccountPositions();
        EXPECT_EQ(report->MemberCode(), c.memberCode) << c.label;
        EXPECT_EQ(report->MemberAccountPosition()->Count(), 0) << c.label;
    }
}

TEST(PositionsReportTest, NumbersThatAreNotNumbersFail)
{
    ReportFile file(
        reportXml("<MemberAccountPositions><MemberAccountPosition><AccountNumber>12A</AccountNumber>"
                  "<TotalVolume>1.5</TotalVolume><AvailableVolume>3000000000</AvailableVolume>"
                  "</MemberAccountPosition></MemberAccountPositions>"));
    TXMLMemberAccountPosition *position =
        BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberAccountPosition()->Items(0);
    EXPECT_EQ(messageOf<EConvertError>([&] { position->AccountNumber(); }),
              "'12A' is not a valid integer value");
    EXPECT_THROW(position->TotalVolume(), EConvertError);
    EXPECT_THROW(position->AvailableVolume(), EConvertError);
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { position->RawAccountNumber(); }),
              "Could not convert variant of type (Null) into type (Int64)");
}

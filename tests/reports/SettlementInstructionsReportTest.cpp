#include "reports/SettlementInstructionsReport.h"

#include "common/Exception.h"
#include "ReportFile.h"

#include <gtest/gtest.h>

using namespace SettlementInstructionsReport;

namespace {

class SettlementInstructionsReportTest : public testing::Test
{
protected:
    ReportFile file{testData("MemberSettlementInstructions.xml")};
    TXMLMemberSettlementInstructions *report =
        BindWSResponse(file.document())->Body()->MemberSettlementInstructions();
};

} // namespace

TEST_F(SettlementInstructionsReportTest, ReadsEveryFieldOfAnInstruction)
{
    EXPECT_EQ(report->SettlementMemberCode(), "KDDU");
    TXMLMemberSettlementInstruction *i = report->MemberSettlementInstruction()->Items(0);
    EXPECT_EQ(i->TicketNumber(), 5512u);
    EXPECT_EQ(i->OriginalAccountNumber(), 1000234u);
    EXPECT_EQ(i->TradingAccountNumber(), 1000999u);
    EXPECT_EQ(i->SettlementAccountNumber(), 1000777u);
    EXPECT_EQ(i->Volume(), 150);
    const QStringList texts = {i->MicCode(),
                               i->TradeStatus(),
                               i->TradeSide(),
                               i->TradingMemberCode(),
                               i->CounterTradingMemberCode(),
                               i->OriginalAccountType(),
                               i->TradingAccountType(),
                               i->ClearingMemberCode(),
                               i->SettlementAccountType(),
                               i->IsinCode(),
                               i->Price(),
                               i->Value(),
                               i->Currency(),
                               i->AccruedInterest(),
                               i->TradeDateTime(),
                               i->TradeReference(),
                               i->SettlementDate(),
                               i->CancelTime()};
    EXPECT_EQ(texts.join('|'), "XLJU|MATCHED|S|KDDU|BKSL|F|T|KDDC|S|SI0031102120|82.30|12345.00|EUR|0.00|"
                               "2024-01-15T10:20:00|TR-5512|2024-01-17|");
}

TEST_F(SettlementInstructionsReportTest, InstructionsKeepDocumentOrderAndAMissingTicketFails)
{
    IXMLMemberSettlementInstructionList *list = report->MemberSettlementInstruction();
    ASSERT_EQ(list->Count(), 4);
    EXPECT_EQ(list->Items(1)->TicketNumber(), 5512u);
    EXPECT_EQ(list->Items(1)->Price(), "82.40");
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { list->Items(2)->TicketNumber(); }),
              "Could not convert variant of type (Null) into type (Int64)");
    EXPECT_EQ(list->Items(3)->TicketNumber(), 5600u);
}

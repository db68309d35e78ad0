#include "reports/TransactionsReport.h"

#include "common/Exception.h"
#include "ReportFile.h"

#include <gtest/gtest.h>

namespace {

void expectFirstTransaction(TransactionsReport::TXMLMemberTransaction *t)
{
    EXPECT_EQ(t->MoveSequence(), 1u);
    EXPECT_EQ(t->TransactionType(), "BT");
    EXPECT_EQ(t->TransactionStatus(), "CONFIRMED");
    EXPECT_EQ(t->TransactionNumber(), 7700123u);
    EXPECT_EQ(t->SourceTransactionNumber(), "5512");
    EXPECT_EQ(t->TransactionDateTime(), "2024-01-15T10:22:31");
    EXPECT_EQ(t->TransactionReference(), "X-REF-1");
    EXPECT_EQ(t->IsinCode(), "SI0031102120");
    EXPECT_EQ(t->RequestMemberCode(), "KDDU");
    EXPECT_EQ(t->AccountNumber(), 1000234u);
    EXPECT_EQ(t->SubaccountNumber(), 0u);
    EXPECT_EQ(t->Volume(), -150);
    EXPECT_EQ(t->TransactionValue(), "12345.67");
    EXPECT_EQ(t->Currency(), "EUR");
}

} // namespace

TEST(TransactionsReportTest, ReadsThePeriodReport)
{
    ReportFile file(testData("MemberTransactions.xml"));
    auto *root = TransactionsReport::BindWSResponse(file.document());
    EXPECT_EQ(root->Header()->ToDate(), "2024-01-31");
    auto *report = root->Body()->MemberTransactions();
    EXPECT_EQ(report->MemberCode(), "KDDU");
    ASSERT_EQ(report->MemberTransaction()->Count(), 2);
    expectFirstTransaction(report->MemberTransaction()->Items(0));

    auto *second = report->MemberTransaction()->Items(1);
    EXPECT_EQ(second->SubaccountNumber(), 3u);
    EXPECT_EQ(second->Currency(), "");
    EXPECT_EQ(second->TransactionValue(), "");
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { second->Volume(); }),
              "Could not convert variant of type (Null) into type (Integer)");
}

TEST(TransactionsReportTest, ReadsTheCurrentDayReportWithItsOwnClasses)
{
    ReportFile file(testData("MemberTransactionsCurrentDay.xml"));
    auto *report =
        TransactionsCurrentDayReport::BindWSResponse(file.document())->Body()->MemberTransactionsCurrentDay();
    ASSERT_EQ(report->MemberTransaction()->Count(), 2);
    expectFirstTransaction(report->MemberTransaction()->Items(0));
}

TEST(TransactionsReportTest, AReportReadWithTheOtherClassesHasNoTransactions)
{
    ReportFile currentDay(testData("MemberTransactionsCurrentDay.xml"));
    auto *asPeriod = TransactionsReport::BindWSResponse(currentDay.document())->Body()->MemberTransactions();
    EXPECT_EQ(asPeriod->MemberCode(), "");
    EXPECT_EQ(asPeriod->MemberTransaction()->Count(), 0);

    ReportFile period(testData("MemberTransactions.xml"));
    EXPECT_EQ(TransactionsCurrentDayReport::BindWSResponse(period.document())
                  ->Body()
                  ->MemberTransactionsCurrentDay()
                  ->MemberTransaction()
                  ->Count(),
              0);
}

TEST(TransactionsReportTest, WritesStoreTheTextForm)
{
    ReportFile file(reportXml("<MemberTransactions/>"));
    auto *list = TransactionsReport::BindWSResponse(file.document())
                     ->Body()
                     ->MemberTransactions()
                     ->MemberTransaction();
    auto *t = list->Add();
    t->setVolume(-2147483647 - 1);
    t->setSubaccountNumber(0);
    t->setTransactionValue("10.50");
    EXPECT_EQ(t->Volume(), -2147483647 - 1);
    EXPECT_EQ(t->SubaccountNumber(), 0u);
    EXPECT_STREQ(t->element().child("Volume").text().get(), "-2147483648");
    EXPECT_EQ(list->Count(), 1);
}

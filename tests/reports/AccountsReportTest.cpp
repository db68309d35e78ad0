#include "reports/AccountsReport.h"

#include "common/Exception.h"
#include "ReportFile.h"

#include <gtest/gtest.h>

using namespace AccountsReport;

namespace {

class AccountsReportTest : public testing::Test
{
protected:
    ReportFile file{testData("MemberAccounts.xml")};
    IXMLMemberAccountList *accounts =
        BindWSResponse(file.document())->Body()->MemberAccounts()->MemberAccount();
};

} // namespace

TEST_F(AccountsReportTest, ReadsEveryFieldOfAnAccount)
{
    ASSERT_EQ(accounts->Count(), 3);
    TXMLMemberAccount *account = accounts->Items(0);
    EXPECT_EQ(account->AccountType(), "F");
    EXPECT_EQ(account->AccountNumber(), 1000234u);
    EXPECT_EQ(account->RawAccountNumber(), 234u);
    EXPECT_EQ(account->IBAN(), "SI56191000000123438");
    EXPECT_EQ(account->AccountName(), QString::fromUtf8("Čuk Žiga"));
    EXPECT_EQ(account->MemberReference(), "REF-234");
    EXPECT_EQ(account->RegistryCode(), "KDD");
    EXPECT_EQ(account->JointHolderType(), "S");
    EXPECT_EQ(account->BankAccountNumber(), "SI56020100012345678");
    EXPECT_EQ(account->BankAccountReference(), "SI00 234");
    EXPECT_EQ(account->OpenDate(), "2010-05-04T00:00:00");
    EXPECT_EQ(account->CloseDate(), "");
    EXPECT_EQ(accounts->Items(1)->CloseDate(), "2023-12-31");
}

TEST_F(AccountsReportTest, ReadsEveryFieldOfAHolder)
{
    TXMLAccountHolder *holder = accounts->Items(0)->AccountHolder()->Items(0);
    const QStringList texts = {
        holder->PercentageHeld(),
        holder->IdentificationNumberType(),
        holder->IdentificationNumber(),
        holder->PartyType(),
        holder->BirthDate(),
        holder->DisplayName(),
        holder->TaxIdentification(),
        holder->PermanentStreet(),
        holder->PermanentExtendedAddress(),
        holder->PermanentLocality(),
        holder->PermanentPostalCode(),
        holder->PermanentCity(),
        holder->PermanentCountry(),
        holder->PermanentRegion(),
        holder->MailingStreet(),
        holder->MailingExtendedAddress(),
        holder->MailingLocality(),
        holder->MailingPostalCode(),
        holder->MailingCity(),
        holder->MailingCountry(),
        holder->MailingRegion(),
        holder->Person(),
        holder->BusinessPhone(),
        holder->MobilePhone(),
        holder->Fax(),
        holder->HomePhone(),
        holder->WebPage(),
        holder->Email(),
        holder->BIC(),
        holder->Comment(),
        holder->AccountHolderLEI(),
    };
    EXPECT_EQ(
        texts.join('|'),
        QString::fromUtf8("50.00|EMSO|0101980500123|NP|1980-01-01|Čuk Žiga|12345678|Šubičeva ulica 3|"
                          "2. nadstropje|Center|1000|Ljubljana|SI|Osrednjeslovenska|Poštni predal 12|p.p.|"
                          "Bežigrad|1113|Ljubljana|SI|Osrednjeslovenska|Žiga Čuk|+386 1 234 56 78|"
                          "+386 41 123 456|+386 1 234 56 79|+386 1 987 65 43|https://example.si|"
                          "ziga.cuk@example.si|LJBASI2X|stalni|5299000J2N45DDNE4Y28"));
    EXPECT_TRUE(holder->PrimaryHolder());
    EXPECT_FALSE(accounts->Items(0)->AccountHolder()->Items(1)->PrimaryHolder());
}

TEST_F(AccountsReportTest, HoldersStayWithTheirAccountInDocumentOrder)
{
    QStringList names;
    for (int a = 0; a < 2; ++a) {
        IXMLAccountHolderList *holders = accounts->Items(a)->AccountHolder();
        ASSERT_EQ(holders->Count(), 2);
        for (int h = 0; h < holders->Count(); ++h)
            names << holders->Items(h)->DisplayName();
    }
    EXPECT_EQ(names.join('|'), QString::fromUtf8("Čuk Žiga|Šorli & partnerji d.o.o.|Žagar Ana|Žagar Bor"));
    EXPECT_EQ(accounts->Items(2)->AccountHolder()->Count(), 0);
}

TEST_F(AccountsReportTest, AccountHolderLEIReadsAsAValueWhenPresent)
{
    TXMLAccountHolder *withoutElement = accounts->Items(1)->AccountHolder()->Items(1);
    TXMLAccountHolder *emptyElement = accounts->Items(1)->AccountHolder()->Items(0);
    EXPECT_EQ(withoutElement->AccountHolderLEI(), "");
    EXPECT_FALSE(withoutElement->element().child("AccountHolderLEI"));
    EXPECT_EQ(withoutElement->Comment(), "");
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { emptyElement->AccountHolderLEI(); }),
              "Could not convert variant of type (Null) into type (OleStr)");
    withoutElement->setAccountHolderLEI("LEI-1");
    EXPECT_EQ(withoutElement->AccountHolderLEI(), "LEI-1");
}

TEST_F(AccountsReportTest, EmptyNumbersAndBooleansFail)
{
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { accounts->Items(2)->AccountNumber(); }),
              "Could not convert variant of type (Null) into type (Int64)");
    TXMLAccountHolder *holder = accounts->Items(0)->AccountHolder()->Add();
    EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { holder->PrimaryHolder(); }),
              "Could not convert variant of type (Null) into type (Boolean)");
    holder->setPrimaryHolder(true);
    EXPECT_EQ(holder->element().child("PrimaryHolder").text().as_string(), std::string("true"));
    EXPECT_EQ(accounts->Items(0)->AccountHolder()->Count(), 3);
}

#pragma once

#include "reports/XmlEnvelope.h"

// MemberAccounts.xml: the member's securities accounts, each with its holders.
namespace AccountsReport {

class TXMLAccountHolder : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(bool, PrimaryHolder)
    VORN_XML_PROPERTY(QString, PercentageHeld)
    VORN_XML_PROPERTY(QString, IdentificationNumberType)
    VORN_XML_PROPERTY(QString, IdentificationNumber)
    VORN_XML_PROPERTY(QString, PartyType)
    VORN_XML_PROPERTY(QString, BirthDate)
    VORN_XML_PROPERTY(QString, DisplayName)
    VORN_XML_PROPERTY(QString, TaxIdentification)
    VORN_XML_PROPERTY(QString, PermanentStreet)
    VORN_XML_PROPERTY(QString, PermanentExtendedAddress)
    VORN_XML_PROPERTY(QString, PermanentLocality)
    VORN_XML_PROPERTY(QString, PermanentPostalCode)
    VORN_XML_PROPERTY(QString, PermanentCity)
    VORN_XML_PROPERTY(QString, PermanentCountry)
    VORN_XML_PROPERTY(QString, PermanentRegion)
    VORN_XML_PROPERTY(QString, MailingStreet)
    VORN_XML_PROPERTY(QString, MailingExtendedAddress)
    VORN_XML_PROPERTY(QString, MailingLocality)
    VORN_XML_PROPERTY(QString, MailingPostalCode)
    VORN_XML_PROPERTY(QString, MailingCity)
    VORN_XML_PROPERTY(QString, MailingCountry)
    VORN_XML_PROPERTY(QString, MailingRegion)
    VORN_XML_PROPERTY(QString, Person)
    VORN_XML_PROPERTY(QString, BusinessPhone)
    VORN_XML_PROPERTY(QString, MobilePhone)
    VORN_XML_PROPERTY(QString, Fax)
    VORN_XML_PROPERTY(QString, HomePhone)
    VORN_XML_PROPERTY(QString, WebPage)
    VORN_XML_PROPERTY(QString, Email)
    VORN_XML_PROPERTY(QString, BIC)
    VORN_XML_PROPERTY(QString, Comment)
    VORN_XML_OPTIONAL_VALUE(AccountHolderLEI)
};

VORN_XML_LIST_CLASS(TXMLAccountHolderList, IXMLAccountHolderList, TXMLAccountHolder)

class TXMLMemberAccount : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, AccountType)
    VORN_XML_PROPERTY(quint32, AccountNumber)
    VORN_XML_PROPERTY(quint32, RawAccountNumber)
    VORN_XML_PROPERTY(QString, IBAN)
    VORN_XML_PROPERTY(QString, AccountName)
    VORN_XML_PROPERTY(QString, MemberReference)
    VORN_XML_PROPERTY(QString, RegistryCode)
    VORN_XML_PROPERTY(QString, JointHolderType)
    VORN_XML_LIST(TXMLAccountHolderList, AccountHolder)
    VORN_XML_PROPERTY(QString, BankAccountNumber)
    VORN_XML_PROPERTY(QString, BankAccountReference)
    VORN_XML_PROPERTY(QString, OpenDate)
    VORN_XML_PROPERTY(QString, CloseDate)
};

VORN_XML_LIST_CLASS(TXMLMemberAccountList, IXMLMemberAccountList, TXMLMemberAccount)

class TXMLMemberAccounts : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, MemberCode)
    VORN_XML_LIST(TXMLMemberAccountList, MemberAccount)
};

class TXMLBody : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLMemberAccounts, MemberAccounts)
};

using TXMLHeader = ::TXMLHeader;
using TXMLWSResponse = TXMLWSResponseOf<TXMLBody>;

TXMLWSResponse *BindWSResponse(TXMLDocument &document);

} // namespace AccountsReport

#pragma once

#include "reports/XmlEnvelope.h"

// MemberTransactions.xml and MemberTransactionsCurrentDay.xml: the member's securities
// transactions. The two reports differ only in the element under Body; they share the classes
// below it and each has its own Body and root.
namespace TransactionsReport {

class TXMLMemberTransaction : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(quint32, MoveSequence)
    VORN_XML_PROPERTY(QString, TransactionType)
    VORN_XML_PROPERTY(QString, TransactionStatus)
    VORN_XML_PROPERTY(quint32, TransactionNumber)
    VORN_XML_PROPERTY(QString, SourceTransactionNumber)
    VORN_XML_PROPERTY(QString, TransactionDateTime)
    VORN_XML_PROPERTY(QString, TransactionReference)
    VORN_XML_PROPERTY(QString, IsinCode)
    VORN_XML_PROPERTY(QString, RequestMemberCode)
    VORN_XML_PROPERTY(quint32, AccountNumber)
    VORN_XML_PROPERTY(quint32, SubaccountNumber)
    VORN_XML_PROPERTY(qint32, Volume)
    VORN_XML_PROPERTY(QString, TransactionValue)
    VORN_XML_PROPERTY(QString, Currency)
};

VORN_XML_LIST_CLASS(TXMLMemberTransactionList, IXMLMemberTransactionList, TXMLMemberTransaction)

class TXMLMemberTransactions : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, MemberCode)
    VORN_XML_LIST(TXMLMemberTransactionList, MemberTransaction)
};

class TXMLBody : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLMemberTransactions, MemberTransactions)
};

using TXMLHeader = ::TXMLHeader;
using TXMLWSResponse = TXMLWSResponseOf<TXMLBody>;

TXMLWSResponse *BindWSResponse(TXMLDocument &document);

} // namespace TransactionsReport

namespace TransactionsCurrentDayReport {

using TransactionsReport::IXMLMemberTransactionList;
using TransactionsReport::TXMLMemberTransaction;
using TransactionsReport::TXMLMemberTransactionList;
using TransactionsReport::TXMLMemberTransactions;

class TXMLBody : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLMemberTransactions, MemberTransactionsCurrentDay)
};

using TXMLHeader = ::TXMLHeader;
using TXMLWSResponse = TXMLWSResponseOf<TXMLBody>;

TXMLWSResponse *BindWSResponse(TXMLDocument &document);

} // namespace TransactionsCurrentDayReport

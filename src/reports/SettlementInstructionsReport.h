#pragma once

#include "reports/XmlEnvelope.h"

// MemberSettlementInstructions.xml: the member's settlement instructions, read by the
// transactions conversions for the trade details of a transaction.
namespace SettlementInstructionsReport {

class TXMLMemberSettlementInstruction : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(quint32, TicketNumber)
    VORN_XML_PROPERTY(QString, MicCode)
    VORN_XML_PROPERTY(QString, TradeStatus)
    VORN_XML_PROPERTY(QString, TradeSide)
    VORN_XML_PROPERTY(QString, TradingMemberCode)
    VORN_XML_PROPERTY(QString, CounterTradingMemberCode)
    VORN_XML_PROPERTY(QString, OriginalAccountType)
    VORN_XML_PROPERTY(quint32, OriginalAccountNumber)
    VORN_XML_PROPERTY(QString, TradingAccountType)
    VORN_XML_PROPERTY(quint32, TradingAccountNumber)
    VORN_XML_PROPERTY(QString, ClearingMemberCode)
    VORN_XML_PROPERTY(QString, SettlementAccountType)
    VORN_XML_PROPERTY(quint32, SettlementAccountNumber)
    VORN_XML_PROPERTY(QString, IsinCode)
    VORN_XML_PROPERTY(qint32, Volume)
    VORN_XML_PROPERTY(QString, Price)
    VORN_XML_PROPERTY(QString, Value)
    VORN_XML_PROPERTY(QString, Currency)
    VORN_XML_PROPERTY(QString, AccruedInterest)
    VORN_XML_PROPERTY(QString, TradeDateTime)
    VORN_XML_PROPERTY(QString, TradeReference)
    VORN_XML_PROPERTY(QString, SettlementDate)
    VORN_XML_PROPERTY(QString, CancelTime)
};

VORN_XML_LIST_CLASS(TXMLMemberSettlementInstructionList, IXMLMemberSettlementInstructionList,
                    TXMLMemberSettlementInstruction)

class TXMLMemberSettlementInstructions : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, SettlementMemberCode)
    VORN_XML_LIST(TXMLMemberSettlementInstructionList, MemberSettlementInstruction)
};

class TXMLBody : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLMemberSettlementInstructions, MemberSettlementInstructions)
};

using TXMLHeader = ::TXMLHeader;
using TXMLWSResponse = TXMLWSResponseOf<TXMLBody>;

TXMLWSResponse *BindWSResponse(TXMLDocument &document);

} // namespace SettlementInstructionsReport

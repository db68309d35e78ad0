#pragma once

#include "reports/XmlEnvelope.h"

// MemberAllocations.xml and MemberAllocationsCurrentDay.xml: allocations of trades to
// accounts. One class set reads both; Body has a property for each report's element.
namespace AllocationsReport {

class TXMLMemberAllocation : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(quint32, TicketNumber)
    VORN_XML_PROPERTY(QString, TradeSide)
    VORN_XML_PROPERTY(QString, AllocationStatus)
    VORN_XML_PROPERTY(quint32, TradeAccountNumber)
    VORN_XML_PROPERTY(QString, IsinCode)
    VORN_XML_PROPERTY(qint32, Volume)
    VORN_XML_PROPERTY(QString, AllocationMemberCode)
    VORN_XML_PROPERTY(quint32, AllocationAccountNumber)
    VORN_XML_PROPERTY(quint32, AllocationOrderNumber)
    VORN_XML_PROPERTY(quint32, AllocationSubaccountNumber)
    VORN_XML_PROPERTY(QString, AllocationActionType)
    VORN_XML_PROPERTY(QString, TradeDateTime)
    VORN_XML_PROPERTY(QString, SettlementDate)
    VORN_XML_PROPERTY(QString, AllocationDateTime)
};

VORN_XML_LIST_CLASS(TXMLMemberAllocationList, IXMLMemberAllocationList, TXMLMemberAllocation)

class TXMLMemberAllocations : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, MemberCode)
    VORN_XML_LIST(TXMLMemberAllocationList, MemberAllocation)
};

class TXMLBody : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLMemberAllocations, MemberAllocations)
    VORN_XML_ELEMENT(TXMLMemberAllocations, MemberAllocationsCurrentDay)
};

using TXMLHeader = ::TXMLHeader;
using TXMLWSResponse = TXMLWSResponseOf<TXMLBody>;

TXMLWSResponse *BindWSResponse(TXMLDocument &document);

} // namespace AllocationsReport

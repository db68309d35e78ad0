#pragma once

#include "reports/XmlEnvelope.h"

// MemberAccountPositions.xml: the member's securities positions per account.
namespace PositionsReport {

class TXMLMemberAccountPosition : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(quint32, AccountNumber)
    VORN_XML_PROPERTY(quint32, RawAccountNumber)
    VORN_XML_PROPERTY(QString, IBAN)
    VORN_XML_PROPERTY(QString, IsinCode)
    VORN_XML_PROPERTY(qint32, TotalVolume)
    VORN_XML_PROPERTY(qint32, AvailableVolume)
    VORN_XML_PROPERTY(qint32, FrozenVolume)
    VORN_XML_PROPERTY(QString, LastChangeDateTime)
};

VORN_XML_LIST_CLASS(TXMLMemberAccountPositionList, IXMLMemberAccountPositionList, TXMLMemberAccountPosition)

class TXMLMemberAccountPositions : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, MemberCode)
    VORN_XML_LIST(TXMLMemberAccountPositionList, MemberAccountPosition)
};

class TXMLBody : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLMemberAccountPositions, MemberAccountPositions)
};

using TXMLHeader = ::TXMLHeader;
using TXMLWSResponse = TXMLWSResponseOf<TXMLBody>;

TXMLWSResponse *BindWSResponse(TXMLDocument &document);

} // namespace PositionsReport

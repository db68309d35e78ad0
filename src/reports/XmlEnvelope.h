#pragma once

#include "reports/XmlDocument.h"
#include "reports/XmlNode.h"

// The envelope every report shares: WSResponse in the report namespace, holding Header and a
// Body whose content each report defines.

inline constexpr char ReportNamespaceUri[] = "urn:si:vorn:WSResponseSchema:Members";

class TXMLHeader : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_PROPERTY(QString, GUID)
    VORN_XML_PROPERTY(QString, TimeStamp)
    VORN_XML_PROPERTY(QString, StatusDate)
    VORN_XML_PROPERTY(QString, FromDate)
    VORN_XML_PROPERTY(QString, ToDate)
};

template<class TBody> class TXMLWSResponseOf : public TXMLNode
{
public:
    using TXMLNode::TXMLNode;

    VORN_XML_ELEMENT(TXMLHeader, Header)
    VORN_XML_ELEMENT(TBody, Body)
};

// The namespace URI of the document element when it is WSResponse in the report namespace;
// otherwise fails with EIntfCastError "Interface not supported".
const char *checkedResponseRoot(pugi::xml_node root);

// Loads the document when needed and returns its element as the root of a report's class set.
template<class Response> Response *bindWSResponse(TXMLDocument &document)
{
    return document.boundRoot<Response>([&document] {
        const pugi::xml_node root = document.DocumentElement();
        return std::make_unique<Response>(nullptr, "WSResponse", root, checkedResponseRoot(root));
    });
}

// A text property read as a value: a missing element reads empty without being created, an
// empty one fails as a null value of type (OleStr).
#define VORN_XML_OPTIONAL_VALUE(Name)                                                                        \
    QString Name() const                                                                                     \
    {                                                                                                        \
        return readOptionalValue(#Name);                                                                     \
    }                                                                                                        \
    void set##Name(const QString &value)                                                                     \
    {                                                                                                        \
        writeValue(#Name, value);                                                                            \
    }

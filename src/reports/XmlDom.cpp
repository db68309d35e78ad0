#include "reports/XmlDom.h"

#include "common/Exception.h"

#include <cstring>

namespace XmlDom {

const char *const XmlNamespaceUri = "http://www.w3.org/XML/1998/namespace";

const char *localName(const char *qualifiedName)
{
    const char *colon = std::strchr(qualifiedName, ':');
    return colon ? colon + 1 : qualifiedName;
}

std::string_view prefix(const char *qualifiedName)
{
    const char *colon = std::strchr(qualifiedName, ':');
    return colon ? std::string_view(qualifiedName, colon - qualifiedName) : std::string_view();
}

const char *namespaceUri(pugi::xml_node element)
{
    const std::string_view wanted = prefix(element.name());
    if (wanted == "xml")
        return XmlNamespaceUri;
    for (pugi::xml_node scope = element; scope.type() == pugi::node_element; scope = scope.parent()) {
        for (pugi::xml_attribute attribute = scope.first_attribute(); attribute;
             attribute = attribute.next_attribute()) {
            const std::string_view name = attribute.name();
            if (!name.starts_with("xmlns"))
                continue;
            if (wanted.empty()
                    ? name.size() == 5
                    : name.size() == 6 + wanted.size() && name[5] == ':' && name.substr(6) == wanted)
                return attribute.value();
        }
    }
    if (wanted.empty())
        return "";
    throw EXMLDocError(
        QStringLiteral("Reference to undeclared namespace prefix: '%1'").arg(QString::fromUtf8(wanted)));
}

void throwNotSingleText()
{
    throw EXMLDocError(QStringLiteral("Element does not contain a single text node"));
}

} // namespace XmlDom

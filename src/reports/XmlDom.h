#pragma once

#include <bit>
#include <cstring>
#include <pugixml.hpp>
#include <string_view>
#include <type_traits>

// The namespace-aware view of a parsed document: qualified and local names, the namespace URI
// in scope for an element, and the text rule of the report documents. pugixml keeps names as
// written ("p:Header"); these functions resolve them the way a namespace-aware DOM does.
namespace XmlDom {

extern const char *const XmlNamespaceUri;

// Whether a node or attribute handle is null, told without a call into the library: a handle
// is nothing but the pointer to the library's object (null for none), as its declaration shows.
template<class Handle> inline bool isNull(Handle handle)
{
    static_assert(sizeof(Handle) == sizeof(void *) && std::is_trivially_copyable_v<Handle>);
    return std::bit_cast<const void *>(handle) == nullptr;
}

// The part after the prefix: "Header" for "p:Header" and for "Header".
const char *localName(const char *qualifiedName);
// The prefix, empty for an unprefixed name.
std::string_view prefix(const char *qualifiedName);

// Whether the element's qualified or local name is `name`.
inline bool hasName(const char *qualifiedName, std::string_view name)
{
    const auto equalsName = [name](const char *text) {
        return std::strncmp(text, name.data(), name.size()) == 0 && text[name.size()] == 0;
    };
    if (equalsName(qualifiedName))
        return true;
    const char *colon = std::strchr(qualifiedName, ':');
    return colon && equalsName(colon + 1);
}

// The namespace URI of an element from the declarations in scope; "" for no namespace.
// An undeclared prefix fails with EXMLDocError.
const char *namespaceUri(pugi::xml_node element);

// The same for a child of an element whose namespace URI is already known. A child that
// declares nothing and has its parent's prefix is in its parent's namespace, which spares
// the walk up the tree for nearly every element of a report.
inline const char *childNamespaceUri(pugi::xml_node child, pugi::xml_node parent, const char *parentUri)
{
    if (!child.first_attribute() && prefix(child.name()) == prefix(parent.name()))
        return parentUri;
    return namespaceUri(child);
}

inline bool sameNamespace(const char *a, const char *b)
{
    return a == b || std::string_view(a) == std::string_view(b);
}

[[noreturn]] void throwNotSingleText();

// The text of an element read as text: empty without children, the text of its single text
// or CDATA node; anything else fails with "Element does not contain a single text node".
inline const char *singleText(pugi::xml_node element)
{
    // The parser keeps the text of an element whose first content is text in the element itself.
    const char *embedded = element.value();
    const pugi::xml_node child = element.first_child();
    if (isNull(child))
        return embedded;
    const pugi::xml_node_type type = child.type();
    if (!*embedded && isNull(child.next_sibling()) && (type == pugi::node_pcdata || type == pugi::node_cdata))
        return child.value();
    throwNotSingleText();
}

} // namespace XmlDom

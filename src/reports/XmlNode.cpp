#include "reports/XmlNode.h"

#include "reports/XmlDom.h"
#include "reports/XmlValues.h"

#include <cstring>
#include <string>

TXMLNode::TXMLNode(TXMLNode *parent, const char *name, pugi::xml_node element, const char *namespaceUri)
    : m_parent(parent), m_name(name), m_element(element), m_namespaceUri(namespaceUri)
{
}

TXMLNode::~TXMLNode() = default;

QString TXMLNode::NodeName() const
{
    return QString::fromUtf8(m_element ? m_element.name() : m_name);
}

QString TXMLNode::LocalName() const
{
    return QString::fromUtf8(XmlDom::localName(m_element ? m_element.name() : m_name));
}

QString TXMLNode::Text() const
{
    return m_element ? QString::fromUtf8(XmlDom::singleText(m_element)) : QString();
}

void TXMLNode::examineChildren() const
{
    // Lists hold thousands of children; looking at each by name is quicker there than
    // examining them all for a property that is usually among the first.
    constexpr int largestExamined = 64;
    const std::string_view prefix = XmlDom::prefix(m_element.name());
    m_layout = ChildLayout::Mixed;
    m_prefixLength = static_cast<unsigned char>(prefix.size());
    if (prefix.size() > 32)
        return;
    quint32 hashes[largestExamined];
    int count = 0;
    bool distinct = true;
    for (pugi::xml_node child = m_element.first_child(); child; child = child.next_sibling()) {
        const pugi::xml_node_type type = child.type();
        // A processing instruction has a name that could be taken for an element's.
        if (type == pugi::node_pi)
            return;
        if (type != pugi::node_element)
            continue;
        if (count == largestExamined || child.first_attribute())
            return;
        const char *name = child.name();
        if (XmlDom::prefix(name) != prefix)
            return;
        quint32 hash = 2166136261u;
        for (const char *c = name; *c; ++c)
            hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
        for (int i = 0; i < count && distinct; ++i)
            distinct = hashes[i] != hash; // equal hashes of different names merely cost the shortcut
        hashes[count++] = hash;
    }
    m_layout = distinct ? ChildLayout::Distinct : ChildLayout::Uniform;
}

pugi::xml_node TXMLNode::findChild(const char *name) const
{
    if (!m_element)
        return {};
    if (m_layout == ChildLayout::Unknown)
        examineChildren();
    if (m_layout == ChildLayout::Mixed)
        return scanChildren(name);
    char prefixed[128];
    const char *qualifiedName = name;
    if (m_prefixLength > 0) {
        const size_t length = std::strlen(name);
        if (m_prefixLength + 1 + length >= sizeof prefixed)
            return scanChildren(name);
        std::memcpy(prefixed, m_element.name(), m_prefixLength + 1); // the prefix and its colon
        std::memcpy(prefixed + m_prefixLength + 1, name, length + 1);
        qualifiedName = prefixed;
    }
    if (m_layout == ChildLayout::Uniform)
        return m_element.child(qualifiedName);
    pugi::xml_node found = m_cursor && std::strcmp(m_cursor.name(), qualifiedName) == 0
                               ? m_cursor
                               : m_element.child(qualifiedName);
    if (found)
        m_cursor = found.next_sibling();
    return found;
}

pugi::xml_node TXMLNode::scanChildren(const char *name) const
{
    for (pugi::xml_node child = m_element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && XmlDom::hasName(child.name(), name) &&
            XmlDom::sameNamespace(XmlDom::childNamespaceUri(child, m_element, m_namespaceUri),
                                  m_namespaceUri))
            return child;
    }
    return {};
}

pugi::xml_node TXMLNode::ensureElement()
{
    if (!m_element) {
        m_parent->ensureElement();
        m_element = m_parent->findChild(m_name);
        if (!m_element)
            m_element = m_parent->createChildElement(m_name);
    }
    return m_element;
}

pugi::xml_node TXMLNode::createChildElement(const char *name, pugi::xml_node before)
{
    pugi::xml_node parent = ensureElement();
    m_layout = ChildLayout::Unknown; // the new child may repeat a name
    // The parent's prefix puts the child into the parent's namespace, declared or default.
    const std::string_view prefix = XmlDom::prefix(parent.name());
    const std::string qualifiedName = prefix.empty() ? std::string(name) : std::string(prefix) + ':' + name;
    return before ? parent.insert_child_before(qualifiedName.c_str(), before)
                  : parent.append_child(qualifiedName.c_str());
}

template<> QString TXMLNode::readValue<QString>(const char *name) const
{
    const pugi::xml_node child = findChild(name);
    return child ? QString::fromUtf8(XmlDom::singleText(child)) : QString();
}

namespace {

// The text of a child read as a value; a missing or empty element is null.
const char *valueText(pugi::xml_node child, const char *typeName)
{
    const char *text = child ? XmlDom::singleText(child) : "";
    if (!*text)
        XmlValues::throwNull(typeName);
    return text;
}

} // namespace

template<> qint32 TXMLNode::readValue<qint32>(const char *name) const
{
    return XmlValues::toInteger(valueText(findChild(name), "Integer"));
}

template<> quint32 TXMLNode::readValue<quint32>(const char *name) const
{
    return XmlValues::toUnsigned(valueText(findChild(name), "Int64"));
}

template<> bool TXMLNode::readValue<bool>(const char *name) const
{
    return XmlValues::toBoolean(valueText(findChild(name), "Boolean"));
}

QString TXMLNode::readOptionalValue(const char *name) const
{
    const pugi::xml_node child = findChild(name);
    return child ? QString::fromUtf8(valueText(child, "OleStr")) : QString();
}

void TXMLNode::writeText(const char *name, const char *text)
{
    ensureElement();
    pugi::xml_node child = findChild(name);
    if (!child)
        child = createChildElement(name);
    child.remove_children();
    child.text().set(text);
}

void TXMLNode::writeValue(const char *name, const QString &value)
{
    writeText(name, value.toUtf8().constData());
}

void TXMLNode::writeValue(const char *name, qint32 value)
{
    writeText(name, QByteArray::number(value).constData());
}

void TXMLNode::writeValue(const char *name, quint32 value)
{
    writeText(name, QByteArray::number(value).constData());
}

void TXMLNode::writeValue(const char *name, bool value)
{
    writeText(name, XmlValues::fromBoolean(value).constData());
}

TXMLNodeListBase::TXMLNodeListBase(TXMLNode *parent, const char *itemName)
    : m_parent(parent), m_itemName(itemName)
{
}

TXMLNodeListBase::~TXMLNodeListBase() = default;

void TXMLNodeListBase::index()
{
    if (m_indexed)
        return;
    const pugi::xml_node parent = m_parent->element();
    const std::string_view itemName = m_itemName;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && XmlDom::hasName(child.name(), itemName) &&
            XmlDom::sameNamespace(XmlDom::childNamespaceUri(child, parent, m_parent->namespaceUri()),
                                  m_parent->namespaceUri()))
            m_elements.push_back(child);
    }
    m_indexed = true;
}

int TXMLNodeListBase::Count()
{
    index();
    return int(m_elements.size());
}

void TXMLNodeListBase::checkIndex(int index, int count)
{
    if (index < 0 || index >= count)
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

pugi::xml_node TXMLNodeListBase::itemElement(int index)
{
    checkIndex(index, Count());
    return m_elements[index];
}

pugi::xml_node TXMLNodeListBase::insertElement(int index)
{
    const int count = Count();
    checkIndex(index, count + 1);
    // A new last item follows the last present one, keeping the items together.
    pugi::xml_node before = index < count ? m_elements[index] : pugi::xml_node();
    if (!before && count > 0)
        before = m_elements.back().next_sibling();
    const pugi::xml_node element = m_parent->createChildElement(m_itemName, before);
    m_elements.insert(m_elements.begin() + index, element);
    return element;
}

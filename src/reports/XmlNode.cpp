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

bool TXMLNode::isMatch(pugi::xml_node child, const char *name) const
{
    const char *childName = child.name();
    // Fast path: an unprefixed child of an unprefixed parent that declares nothing shares
    // the parent's namespace; this is every element of a report as the depository writes it.
    if (m_unprefixed && std::strcmp(childName, name) == 0 && !child.first_attribute())
        return true;
    return XmlDom::hasName(childName, name) &&
           XmlDom::sameNamespace(XmlDom::childNamespaceUri(child, m_element, m_namespaceUri), m_namespaceUri);
}

pugi::xml_node TXMLNode::findChild(TXMLName name) const
{
    if (!m_element)
        return {};
    if (m_run == Run::NotStarted)
        m_unprefixed = XmlDom::prefix(m_element.name()).empty();
    if (m_run != Run::Broken) {
        pugi::xml_node next = m_run == Run::NotStarted ? m_element.first_child() : m_cursor;
        pugi::xml_node_type type;
        while ((type = next.type()) != pugi::node_element && type != pugi::node_null)
            next = next.next_sibling();
        if (type == pugi::node_element && !(m_namesFound & name.bit) && isMatch(next, name.text)) {
            m_run = Run::Running;
            m_namesFound |= name.bit;
            m_cursor = next.next_sibling();
            return next;
        }
    }
    bool beforeCursor = false;
    const pugi::xml_node found = scanChildren(name.text, &beforeCursor);
    // A child found among those passed keeps the run; one found further on ends it.
    if (found && !beforeCursor)
        m_run = Run::Broken;
    return found;
}

pugi::xml_node TXMLNode::scanChildren(const char *name, bool *beforeCursor) const
{
    bool passedCursor = m_run == Run::NotStarted;
    for (pugi::xml_node child = m_element.first_child(); child; child = child.next_sibling()) {
        passedCursor = passedCursor || child == m_cursor;
        if (child.type() == pugi::node_element && isMatch(child, name)) {
            if (beforeCursor)
                *beforeCursor = !passedCursor;
            return child;
        }
    }
    return {};
}

pugi::xml_node TXMLNode::ensureElement()
{
    if (!m_element) {
        m_parent->ensureElement();
        m_element = m_parent->scanChildren(m_name);
        if (!m_element)
            m_element = m_parent->createChildElement(m_name);
    }
    return m_element;
}

pugi::xml_node TXMLNode::createChildElement(const char *name, pugi::xml_node before)
{
    pugi::xml_node parent = ensureElement();
    if (before)
        m_run = Run::Broken; // the children passed may now include one of any name
    // The parent's prefix puts the child into the parent's namespace, declared or default.
    const std::string_view prefix = XmlDom::prefix(parent.name());
    const std::string qualifiedName = prefix.empty() ? std::string(name) : std::string(prefix) + ':' + name;
    return before ? parent.insert_child_before(qualifiedName.c_str(), before)
                  : parent.append_child(qualifiedName.c_str());
}

template<> QString TXMLNode::readValue<QString>(TXMLName name) const
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

template<> qint32 TXMLNode::readValue<qint32>(TXMLName name) const
{
    return XmlValues::toInteger(valueText(findChild(name), "Integer"));
}

template<> quint32 TXMLNode::readValue<quint32>(TXMLName name) const
{
    return XmlValues::toUnsigned(valueText(findChild(name), "Int64"));
}

template<> bool TXMLNode::readValue<bool>(TXMLName name) const
{
    return XmlValues::toBoolean(valueText(findChild(name), "Boolean"));
}

QString TXMLNode::readOptionalValue(TXMLName name) const
{
    const pugi::xml_node child = findChild(name);
    return child ? QString::fromUtf8(valueText(child, "OleStr")) : QString();
}

void TXMLNode::writeText(TXMLName name, const char *text)
{
    ensureElement();
    pugi::xml_node child = findChild(name);
    if (!child)
        child = createChildElement(name.text);
    child.remove_children();
    child.text().set(text);
}

void TXMLNode::writeValue(TXMLName name, const QString &value)
{
    writeText(name, value.toUtf8().constData());
}

void TXMLNode::writeValue(TXMLName name, qint32 value)
{
    writeText(name, QByteArray::number(value).constData());
}

void TXMLNode::writeValue(TXMLName name, quint32 value)
{
    writeText(name, QByteArray::number(value).constData());
}

void TXMLNode::writeValue(TXMLName name, bool value)
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

#include "reports/XmlNode.h"

#include "reports/XmlDom.h"
#include "reports/XmlValues.h"

#include <atomic>
#include <cstring>
#include <string>

namespace {

// The element children of one node from its first child on, with the bits of their local names:
// those before the node's cursor, which every read that may find its child before the cursor
// searches. A converter that reads an item's values in an order of its own then finds each by
// comparing numbers instead of walking over the children again and again. It describes one
// node at a time, and any change to the document forgets it.
struct ChildIndex
{
    quint64 owner = 0;   // the m_childIndexId of the node described
    pugi::xml_node next; // the first child not held; null when all are
    std::vector<std::pair<TXMLNameBits, pugi::xml_node>> children;

    void hold(pugi::xml_node child)
    {
        if (child.type() == pugi::node_element)
            children.emplace_back(TXMLName::bitsOfLocalName(child.name()), child);
    }
    // Holds the children up to `end` (null for all), which does not come before `next`.
    void holdUpTo(pugi::xml_node end)
    {
        for (; !XmlDom::isNull(next) && next != end; next = next.next_sibling())
            hold(next);
    }
};

thread_local ChildIndex childIndex;
// Ids are unique over all threads, so that a node read on two threads is never taken for another.
std::atomic<quint64> lastChildIndexId{0};

// The index, made the node's (holding nothing yet) unless it is already.
ChildIndex &indexOf(quint64 &id, pugi::xml_node element)
{
    ChildIndex &index = childIndex;
    if (id == 0 || index.owner != id) {
        id = ++lastChildIndexId;
        index.owner = id;
        index.children.clear();
        index.next = element.first_child();
    }
    return index;
}

} // namespace

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
    return m_element ? XmlValues::toText(XmlDom::singleText(m_element)) : QString();
}

bool TXMLNode::isMatch(pugi::xml_node child, const char *childName, const char *name) const
{
    // Fast path: an unprefixed child of an unprefixed parent that declares nothing shares
    // the parent's namespace; this is every element of a report as the depository writes it.
    if (m_unprefixed && std::strcmp(childName, name) == 0 && XmlDom::isNull(child.first_attribute()))
        return true;
    return XmlDom::hasName(childName, name) &&
           XmlDom::sameNamespace(XmlDom::childNamespaceUri(child, m_element, m_namespaceUri), m_namespaceUri);
}

void TXMLNode::startReading() const
{
    m_unprefixed = XmlDom::prefix(m_element.name()).empty();
    m_cursor = m_element.first_child();
    m_started = true;
    // An index made while the node was not started holds children past the cursor.
    m_childIndexId = 0;
}

// Inline here: every property read starts with it, and the usual read ends in it, the first
// read of a node too.
inline pugi::xml_node TXMLNode::nextInRun(const TXMLName &name) const
{
    if (!m_started && !XmlDom::isNull(m_element))
        startReading();
    if (m_unprefixed && !m_namesPassed.mayHold(name.bits)) {
        const pugi::xml_node next = m_cursor;
        if (std::strcmp(next.name(), name.text) == 0 && next.type() == pugi::node_element &&
            XmlDom::isNull(next.first_attribute())) {
            m_namesPassed |= name.bits;
            m_cursor = next.next_sibling();
            return next;
        }
    }
    return findChild(name);
}

pugi::xml_node TXMLNode::findChild(const TXMLName &name) const
{
    if (XmlDom::isNull(m_element))
        return {};
    if (!m_started)
        startReading();
    if (m_namesPassed.mayHold(name.bits))
        return scanChildren(name);
    // No child before the cursor has the name, so the first one from the cursor on is the one.
    // The names passed over on the way are remembered, so that a later read of one of them looks
    // at all children (scanChildren indexes them then). A read in schema order passes none.
    TXMLNameBits skipped;
    for (pugi::xml_node next = m_cursor; !XmlDom::isNull(next); next = next.next_sibling()) {
        if (next.type() != pugi::node_element)
            continue;
        const char *childName = next.name();
        const TXMLNameBits bits = TXMLName::bitsOfLocalName(childName);
        if (bits == name.bits && isMatch(next, childName, name.text)) {
            m_namesPassed |= skipped;
            m_namesPassed |= name.bits;
            m_cursor = next.next_sibling();
            return next;
        }
        skipped |= bits;
    }
    return {};
}

pugi::xml_node TXMLNode::scanChildren(const TXMLName &name) const
{
    ChildIndex &index = indexOf(m_childIndexId, m_element);
    index.holdUpTo(m_cursor);
    for (const auto &[bits, child] : index.children) {
        if (bits == name.bits && isMatch(child, child.name(), name.text))
            return child;
    }
    // None before the cursor: the first from the cursor on, if any.
    for (pugi::xml_node child = m_cursor; !XmlDom::isNull(child); child = child.next_sibling()) {
        if (child.type() == pugi::node_element && TXMLName::bitsOfLocalName(child.name()) == name.bits &&
            isMatch(child, child.name(), name.text))
            return child;
    }
    return {};
}

pugi::xml_node TXMLNode::ensureElement()
{
    if (!m_element) {
        m_parent->ensureElement();
        m_element = m_parent->scanChildren(TXMLName::runtime(m_name));
        if (!m_element)
            m_element = m_parent->createChildElement(m_name);
    }
    return m_element;
}

pugi::xml_node TXMLNode::createChildElement(const char *name, pugi::xml_node before)
{
    pugi::xml_node parent = ensureElement();
    childIndex.owner = 0;
    // A new child may come before the cursor, or after the last child passed: from now on
    // every read looks at all children.
    m_namesPassed = TXMLNameBits::all();
    // The parent's prefix puts the child into the parent's namespace, declared or default.
    const std::string_view prefix = XmlDom::prefix(parent.name());
    const std::string qualifiedName = prefix.empty() ? std::string(name) : std::string(prefix) + ':' + name;
    return before ? parent.insert_child_before(qualifiedName.c_str(), before)
                  : parent.append_child(qualifiedName.c_str());
}

namespace {

// The text of a child read as a value; a missing or empty element is null.
const char *nonEmptyText(pugi::xml_node child, const char *typeName)
{
    const char *text = XmlDom::isNull(child) ? "" : XmlDom::singleText(child);
    if (!*text)
        XmlValues::throwNull(typeName);
    return text;
}

// The reads of a child's text as each type, shared by the properties and TXMLValueText.
QString stringOf(pugi::xml_node child)
{
    return XmlDom::isNull(child) ? QString() : XmlValues::toText(XmlDom::singleText(child));
}

qint32 integerOf(pugi::xml_node child)
{
    return XmlValues::toInteger(nonEmptyText(child, "Integer"));
}

quint32 unsignedOf(pugi::xml_node child)
{
    return XmlValues::toUnsigned(nonEmptyText(child, "Int64"));
}

bool booleanOf(pugi::xml_node child)
{
    return XmlValues::toBoolean(nonEmptyText(child, "Boolean"));
}

} // namespace

std::string_view TXMLValueText::utf8() const
{
    return XmlDom::isNull(m_element) ? std::string_view() : std::string_view(XmlDom::singleText(m_element));
}

QString TXMLValueText::toString() const
{
    return stringOf(m_element);
}

qint32 TXMLValueText::toInteger() const
{
    return integerOf(m_element);
}

quint32 TXMLValueText::toUnsigned() const
{
    return unsignedOf(m_element);
}

pugi::xml_node TXMLNode::findInRun(const TXMLName &name) const
{
    return nextInRun(name);
}

template<> QString TXMLNode::readValue<QString>(const TXMLName &name) const
{
    return stringOf(nextInRun(name));
}

template<> qint32 TXMLNode::readValue<qint32>(const TXMLName &name) const
{
    return integerOf(nextInRun(name));
}

template<> quint32 TXMLNode::readValue<quint32>(const TXMLName &name) const
{
    return unsignedOf(nextInRun(name));
}

template<> bool TXMLNode::readValue<bool>(const TXMLName &name) const
{
    return booleanOf(nextInRun(name));
}

QString TXMLNode::readOptionalValue(const TXMLName &name) const
{
    const pugi::xml_node child = nextInRun(name);
    return child ? XmlValues::toText(nonEmptyText(child, "OleStr")) : QString();
}

void TXMLNode::writeText(const TXMLName &name, const char *text)
{
    ensureElement();
    pugi::xml_node child = nextInRun(name);
    if (!child)
        child = createChildElement(name.text);
    childIndex.owner = 0;
    child.remove_children();
    child.text().set(text);
}

void TXMLNode::writeValue(const TXMLName &name, const QString &value)
{
    writeText(name, value.toUtf8().constData());
}

void TXMLNode::writeValue(const TXMLName &name, qint32 value)
{
    writeText(name, QByteArray::number(value).constData());
}

void TXMLNode::writeValue(const TXMLName &name, quint32 value)
{
    writeText(name, QByteArray::number(value).constData());
}

void TXMLNode::writeValue(const TXMLName &name, bool value)
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
    const char *namespaceUri = m_parent->namespaceUri();
    const bool unprefixed = XmlDom::prefix(parent.name()).empty();
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        const char *childName = child.name();
        if (child.type() != pugi::node_element)
            continue;
        // The usual item: named exactly so, declaring nothing, under an unprefixed parent.
        if ((unprefixed && std::strcmp(childName, m_itemName) == 0 && !child.first_attribute()) ||
            (XmlDom::hasName(childName, m_itemName) &&
             XmlDom::sameNamespace(XmlDom::childNamespaceUri(child, parent, namespaceUri), namespaceUri)))
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

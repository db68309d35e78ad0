#pragma once

#include "common/Exception.h"

#include <cstring>
#include <deque>
#include <memory>
#include <pugixml.hpp>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

VORN_DECLARE_EXCEPTION(EListError, Exception)

// Two bits chosen by an element name, each one of 64 and each from other letters of the name. A
// set of names keeps the union of their bits: a name is surely not in the set when either of its
// bits is missing. Two names of one report element share both bits only rarely (none of the
// reports' names do), so that a read in schema order is nearly never taken for another.
struct TXMLNameBits
{
    quint64 first = 0;
    quint64 second = 0;

    static constexpr TXMLNameBits all() { return {~quint64(0), ~quint64(0)}; }
    constexpr bool operator==(const TXMLNameBits &) const = default;
    constexpr TXMLNameBits &operator|=(const TXMLNameBits &other)
    {
        first |= other.first;
        second |= other.second;
        return *this;
    }
    // Whether this set of names may hold the name of the given bits.
    constexpr bool mayHold(const TXMLNameBits &name) const
    {
        return (first & name.first) && (second & name.second);
    }
};

// The element name of a property with its bits, both fixed when compiling. (bitsOf gives the same
// bits for the local name of an element met in the document.) Equal names always share them.
struct TXMLName
{
    consteval TXMLName(const char *name) : text(name), bits(bitsOf(name)) {}
    // A name known only when running.
    static TXMLName runtime(const char *name) { return TXMLName(name, bitsOf(name)); }

    const char *text;
    TXMLNameBits bits;

    static constexpr TXMLNameBits bitsOf(const char *name)
    {
        return bitsOfRange(name, std::char_traits<char>::length(name));
    }
    // The bits of the local name of a name met in the document: bitsOf(XmlDom::localName(name)).
    static TXMLNameBits bitsOfLocalName(const char *qualifiedName)
    {
        const size_t length = std::strlen(qualifiedName);
        const auto *colon = static_cast<const char *>(std::memchr(qualifiedName, ':', length));
        return colon ? bitsOfRange(colon + 1, length - (colon + 1 - qualifiedName))
                     : bitsOfRange(qualifiedName, length);
    }

private:
    constexpr TXMLName(const char *name, TXMLNameBits nameBits) : text(name), bits(nameBits) {}
    // Taken from the length and a few letters, which tell the names of a report's elements apart
    // well enough, at a fraction of the cost of hashing every letter.
    static constexpr TXMLNameBits bitsOfRange(const char *name, size_t length)
    {
        if (length == 0)
            return {1, 1};
        const auto letter = [name](size_t i) { return quint32(static_cast<unsigned char>(name[i])); };
        const quint32 first = quint32(length) * 40503u + letter(0) * 2654435761u +
                              letter(length - 1) * 2246822519u + letter(length / 2) * 3266489917u;
        const quint32 second = quint32(length) * 2654435761u + letter(length / 3) * 40503u +
                               letter(length > 1 ? length - 2 : 0) * 3266489917u +
                               letter(2 * length / 3) * 2246822519u;
        return {quint64(1) << (first >> 26), quint64(1) << (second >> 26)};
    }
};

// A value child of an element, found but not read yet: its text is read, and its failures raised,
// where it is used. A converter that reads many values of a million items finds each child in
// the report's element order with one comparison (see TXMLNode), and reads the text where the
// loaded document holds it, without a copy.
class TXMLValueText
{
public:
    explicit TXMLValueText(pugi::xml_node element) : m_element(element) {}

    // The text as UTF-8, valid while the document is loaded; empty for a missing child.
    std::string_view utf8() const;
    // The value as the property of the type reads it, failures included.
    QString toString() const;
    qint32 toInteger() const;
    quint32 toUnsigned() const;

private:
    pugi::xml_node m_element; // null for a missing child
};

// A node object wraps one element of a loaded report. Its typed properties read and write the
// element's child elements of the property's name in the element's own namespace; the first
// such child counts. A child that is missing reads like a present, empty one and is not added
// to the document by a read; a write creates it (and any missing ancestor) with the prefix of
// its parent. A plain TXMLNode has no typed properties; report classes derive from it and
// declare each property in one line with the macros below.
class TXMLNode
{
public:
    // `element` may be null: the node then stands for a missing child of `parent` named `name`.
    TXMLNode(TXMLNode *parent, const char *name, pugi::xml_node element, const char *namespaceUri);
    virtual ~TXMLNode();
    TXMLNode(const TXMLNode &) = delete;
    TXMLNode &operator=(const TXMLNode &) = delete;

    QString NodeName() const;
    QString LocalName() const;
    QString NamespaceURI() const { return QString::fromUtf8(m_namespaceUri); }
    // The element's text by the single-text-node rule; empty for a missing element.
    QString Text() const;
    bool HasElement() const { return bool(m_element); }
    pugi::xml_node element() const { return m_element; }

    // The element, created with its missing ancestors when it is missing.
    pugi::xml_node ensureElement();
    // A new child element of this node's namespace, before `before` or at the end.
    pugi::xml_node createChildElement(const char *name, pugi::xml_node before = {});
    const char *namespaceUri() const { return m_namespaceUri; }

protected:
    // The first child element of the given name in this node's namespace; null when missing.
    pugi::xml_node findChild(const TXMLName &name) const;
    // The same by looking at every child (through the index of the node's children, see
    // XmlNode.cpp).
    pugi::xml_node scanChildren(const TXMLName &name) const;
    // Whether a child element (named childName) is one of the given name in this node's namespace.
    bool isMatch(pugi::xml_node child, const char *childName, const char *name) const;
    // findChild with the usual case of a report read in schema order done inline.
    pugi::xml_node nextInRun(const TXMLName &name) const;
    // The same, for the value texts read outside this file.
    pugi::xml_node findInRun(const TXMLName &name) const;

    template<class T> T readValue(const TXMLName &name) const;
    TXMLValueText valueText(const TXMLName &name) const { return TXMLValueText(findInRun(name)); }
    void writeValue(const TXMLName &name, const QString &value);
    void writeValue(const TXMLName &name, qint32 value);
    void writeValue(const TXMLName &name, quint32 value);
    void writeValue(const TXMLName &name, bool value);
    // A text read as a value: a missing element reads empty, an empty one fails as null.
    QString readOptionalValue(const TXMLName &name) const;

    template<class Child> Child *childNode(std::unique_ptr<Child> &cache, const TXMLName &name)
    {
        if (!cache)
            cache = std::make_unique<Child>(this, name.text, findChild(name), m_namespaceUri);
        return cache.get();
    }
    template<class List> List *childList(std::unique_ptr<List> &cache, const char *itemName)
    {
        if (!cache)
            cache = std::make_unique<List>(this, itemName);
        return cache.get();
    }

private:
    void writeText(const TXMLName &name, const char *text);
    // Sets the cursor to the first child, before the first search among the children.
    void startReading() const;

    TXMLNode *m_parent;
    const char *m_name;
    pugi::xml_node m_element;
    const char *m_namespaceUri;

    // Reports are read in schema order, so the search for a child starts after the last one
    // found (the cursor). Every child element before the cursor has the bits of its name in
    // m_namesPassed, so a name without its bits there cannot be found before the cursor.
    mutable pugi::xml_node m_cursor;
    mutable TXMLNameBits m_namesPassed;
    mutable bool m_started = false;
    mutable bool m_unprefixed = false;
    mutable quint64 m_childIndexId = 0; // which index of children is this node's; 0 for none
};

template<> QString TXMLNode::readValue<QString>(const TXMLName &name) const;
template<> qint32 TXMLNode::readValue<qint32>(const TXMLName &name) const;
template<> quint32 TXMLNode::readValue<quint32>(const TXMLName &name) const;
template<> bool TXMLNode::readValue<bool>(const TXMLName &name) const;

// The items of a list: the parent's child elements of the item name in the parent's namespace,
// in document order. The elements are indexed on first use, so Items is constant time.
class TXMLNodeListBase
{
public:
    int Count();

protected:
    TXMLNodeListBase(TXMLNode *parent, const char *itemName);
    ~TXMLNodeListBase();

    pugi::xml_node itemElement(int index);
    // Creates an item element before the item at `index`, or after the last item for Count().
    pugi::xml_node insertElement(int index);
    void checkIndex(int index, int count);

    TXMLNode *m_parent;
    const char *m_itemName;

private:
    void index();

    bool m_indexed = false;
    std::vector<pugi::xml_node> m_elements;
};

template<class Item> class TXMLNodeList : public TXMLNodeListBase
{
public:
    TXMLNodeList(TXMLNode *parent, const char *itemName) : TXMLNodeListBase(parent, itemName) {}

    // The item at `index` from 0 in document order; the same object on every call.
    Item *Items(int index)
    {
        const pugi::xml_node element = itemElement(index);
        if (m_items.empty())
            m_items.resize(Count());
        Item *&item = m_items[index];
        if (!item)
            item = &m_storage.emplace_back(m_parent, m_itemName, element, m_parent->namespaceUri());
        return item;
    }
    Item *Add() { return Insert(Count()); }
    Item *Insert(int index)
    {
        m_items.resize(Count());
        const pugi::xml_node element = insertElement(index);
        Item *item = &m_storage.emplace_back(m_parent, m_itemName, element, m_parent->namespaceUri());
        m_items.insert(m_items.begin() + index, item);
        return item;
    }

private:
    // Items live in blocks rather than one allocation each: reports have many of them.
    std::deque<Item> m_storage;
    std::vector<Item *> m_items;
};

// One line per property, in schema order. A value property has a read and a write operation
// (Name() and setName()), and its child found but not read (NameText()); Type is QString, qint32,
// quint32 or bool.
#define VORN_XML_PROPERTY(Type, Name)                                                                        \
    Type Name() const                                                                                        \
    {                                                                                                        \
        static constexpr TXMLName name(#Name); /* passed by its address, a constant */                       \
        return readValue<Type>(name);                                                                        \
    }                                                                                                        \
    TXMLValueText Name##Text() const                                                                         \
    {                                                                                                        \
        static constexpr TXMLName name(#Name);                                                               \
        return valueText(name);                                                                              \
    }                                                                                                        \
    void set##Name(const Type &value)                                                                        \
    {                                                                                                        \
        writeValue(#Name, value);                                                                            \
    }

// A child element with a class of its own; read only, the same object on every call.
#define VORN_XML_ELEMENT(Class, Name)                                                                        \
public:                                                                                                      \
    Class *Name()                                                                                            \
    {                                                                                                        \
        return childNode(m_##Name, #Name);                                                                   \
    }                                                                                                        \
                                                                                                             \
private:                                                                                                     \
    std::unique_ptr<Class> m_##Name;                                                                         \
                                                                                                             \
public:

// A repeated child element: read only, returns the list of its items.
#define VORN_XML_LIST(ListClass, Name)                                                                       \
public:                                                                                                      \
    ListClass *Name()                                                                                        \
    {                                                                                                        \
        return childList(m_##Name, #Name);                                                                   \
    }                                                                                                        \
                                                                                                             \
private:                                                                                                     \
    std::unique_ptr<ListClass> m_##Name;                                                                     \
                                                                                                             \
public:

// Declares a list class and its interface name for items of class Item.
#define VORN_XML_LIST_CLASS(ListClass, InterfaceName, Item)                                                  \
    class ListClass : public TXMLNodeList<Item>                                                              \
    {                                                                                                        \
    public:                                                                                                  \
        using TXMLNodeList<Item>::TXMLNodeList;                                                              \
    };                                                                                                       \
    using InterfaceName = ListClass;

#pragma once

#include "common/Exception.h"

#include <cstring>
#include <deque>
#include <memory>
#include <pugixml.hpp>
#include <QString>
#include <string>
#include <vector>

VORN_DECLARE_EXCEPTION(EListError, Exception)

// The element name of a property with a bit of 64 chosen by the name, both fixed when compiling.
// (bitOf gives the same bit for the local name of an element met in the document.)
// Different names may share a bit; equal names always do.
struct TXMLName
{
    consteval TXMLName(const char *name) : text(name), bit(bitOf(name)) {}
    // A name known only when running.
    static TXMLName runtime(const char *name) { return TXMLName(name, bitOf(name)); }

    const char *text;
    quint64 bit;

    static constexpr quint64 bitOf(const char *name)
    {
        return bitOfRange(name, std::char_traits<char>::length(name));
    }
    // The bit of the local name of a name met in the document: bitOf(XmlDom::localName(name)).
    static quint64 bitOfLocalName(const char *qualifiedName)
    {
        const size_t length = std::strlen(qualifiedName);
        const auto *colon = static_cast<const char *>(std::memchr(qualifiedName, ':', length));
        return colon ? bitOfRange(colon + 1, length - (colon + 1 - qualifiedName))
                     : bitOfRange(qualifiedName, length);
    }

private:
    constexpr TXMLName(const char *name, quint64 nameBit) : text(name), bit(nameBit) {}
    // Taken from the length and three letters, which tell the names of a report's elements
    // apart well enough, at a fraction of the cost of hashing every letter.
    static constexpr quint64 bitOfRange(const char *name, size_t length)
    {
        if (length == 0)
            return 1;
        const auto letter = [name](size_t i) { return quint32(static_cast<unsigned char>(name[i])); };
        const quint32 mixed = quint32(length) * 40503u + letter(0) * 2654435761u +
                              letter(length - 1) * 2246822519u + letter(length / 2) * 3266489917u;
        return quint64(1) << (mixed >> 26);
    }
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
    pugi::xml_node findChild(TXMLName name) const;
    // The same by looking at every child (through the index of the node's children, see
    // XmlNode.cpp).
    pugi::xml_node scanChildren(TXMLName name) const;
    // Whether a child element (named childName) is one of the given name in this node's namespace.
    bool isMatch(pugi::xml_node child, const char *childName, const char *name) const;
    // findChild with the usual case of a report read in schema order done inline.
    pugi::xml_node nextInRun(TXMLName name) const;

    template<class T> T readValue(TXMLName name) const;
    void writeValue(TXMLName name, const QString &value);
    void writeValue(TXMLName name, qint32 value);
    void writeValue(TXMLName name, quint32 value);
    void writeValue(TXMLName name, bool value);
    // A text read as a value: a missing element reads empty, an empty one fails as null.
    QString readOptionalValue(TXMLName name) const;

    template<class Child> Child *childNode(std::unique_ptr<Child> &cache, TXMLName name)
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
    void writeText(TXMLName name, const char *text);
    // Sets the cursor to the first child, before the first search among the children.
    void startReading() const;

    TXMLNode *m_parent;
    const char *m_name;
    pugi::xml_node m_element;
    const char *m_namespaceUri;

    // Reports are read in schema order, so the search for a child starts after the last one
    // found (the cursor). Every child element before the cursor has the bit of its name in
    // m_namesPassed, so a name without its bit there cannot be found before the cursor.
    mutable pugi::xml_node m_cursor;
    mutable quint64 m_namesPassed = 0;
    mutable bool m_started = false;
    mutable bool m_unprefixed = false;
    mutable quint64 m_childIndexId = 0; // which index of children is this node's; 0 for none
};

template<> QString TXMLNode::readValue<QString>(TXMLName name) const;
template<> qint32 TXMLNode::readValue<qint32>(TXMLName name) const;
template<> quint32 TXMLNode::readValue<quint32>(TXMLName name) const;
template<> bool TXMLNode::readValue<bool>(TXMLName name) const;

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
// (Name() and setName()); Type is QString, qint32, quint32 or bool.
#define VORN_XML_PROPERTY(Type, Name)                                                                        \
    Type Name() const                                                                                        \
    {                                                                                                        \
        return readValue<Type>(#Name);                                                                       \
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

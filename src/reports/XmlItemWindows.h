#pragma once

#include <functional>
#include <QtGlobal>

class TXMLDocument;

// A report that holds one long list of items, read a window of items at a time, so that its
// memory is that of a window however long the list is. Each window is a document of its own with
// everything of the report but the items outside the window: the report classes read the header
// and the list's other elements in every window as in the whole report, and the items of the
// windows, one window after the other, are those of the whole list.
//
// The whole file is checked first, as a load checks it, so a report that is not well-formed
// fails before its first window, with the message of a load. A report that is small, not stored
// as UTF-8, whose items do not stand together under one parent, or with more than
// kMaxTextAroundItems of text around them is loaded whole, as one window.
class TXMLItemWindows
{
public:
    static constexpr qint64 kWindowBytes = 1 << 20;
    static constexpr qint64 kMaxTextAroundItems = 64 << 10;

    // The items are the elements of the local name at the depth (the document element has depth
    // 1). A window ends after the first item that makes it `windowBytes` long.
    TXMLItemWindows(const char *itemName, size_t itemDepth, qint64 windowBytes = kWindowBytes)
        : m_itemName(itemName), m_itemDepth(itemDepth), m_windowBytes(windowBytes)
    {
    }

    // Loads each window of the document's file into the document in turn and calls `read` with it.
    void read(TXMLDocument &document, const std::function<void(TXMLDocument &)> &read) const;

private:
    const char *m_itemName;
    size_t m_itemDepth;
    qint64 m_windowBytes;
};

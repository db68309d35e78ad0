#pragma once

#include <QString>
#include <QtGlobal>
#include <string>
#include <string_view>
#include <vector>

// A strict check that a UTF-8 text is a well-formed XML 1.0 document with namespaces: every
// character allowed, every reference one of the five predefined entities or a character
// reference to an allowed character, names well-formed, tags matched, attributes unique, every
// prefix bound, comments, CDATA sections and processing instructions closed properly, the XML
// declaration only at the very start, and one document element with nothing but comments,
// processing instructions and white space around it. A document type declaration is a fault
// too: reports hold none. The check builds nothing; the DOM is built by another parser.
//
// The text may come in pieces: feed() consumes whole constructs (text may be split anywhere)
// and leaves an unfinished one to be fed again in front of the text that follows.
//
// On the way the check can note where a report's long list of items stands (see XmlItemRun).
// Where the elements of one local name at one depth stand in a document: the items of a list,
// noted by the check so that a reader can take a long list a window at a time. Offsets count
// from the start of the text.
struct XmlItemRun
{
    size_t depth = 0;           // of the items; the document element has depth 1
    std::string_view localName; // of the items
    qint64 windowBytes = 0;     // a window ends after the first item that makes it this long

    qint64 begin = -1;        // at the '<' of the first item; -1 when there is none
    qint64 end = -1;          // after the end of the last item
    std::vector<qint64> cuts; // after an item, where one window ends and the next begins
    // Items under more than one parent, or with another element between them: then no window
    // holds everything of the report but a part of the list.
    bool scattered = false;
};

class XmlWellFormedCheck
{
public:
    // Notes the items of `run` while checking; `run` must outlive the check.
    void noteItems(XmlItemRun &run) { m_run = &run; }

    // Checks `size` bytes at `data`, `last` when no text follows; the byte after them must be
    // readable and zero (as in a QByteArray), which spares the scans a test for the end.
    // Returns how many bytes were consumed; after a fault, none (and failed() is true).
    size_t feed(const char *data, size_t size, bool last);

    bool failed() const { return !m_fault.isEmpty(); }
    bool finished() const { return m_finished; }
    // What is wrong, and where: the offset of the faulty construct from the start of the text.
    const QString &fault() const { return m_fault; }
    qint64 faultOffset() const { return m_faultOffset; }

private:
    struct NeedMore
    {
    };
    struct Fault
    {
        const char *at;
        QString description;
    };
    struct QName
    {
        std::string_view text;
        size_t colon; // std::string_view::npos when unprefixed
        std::string_view prefix() const
        {
            return colon == text.npos ? std::string_view() : text.substr(0, colon);
        }
        std::string_view local() const { return colon == text.npos ? text : text.substr(colon + 1); }
    };
    struct Attribute
    {
        QName name;
        const char *valueBegin;
        const char *valueEnd;
        std::string_view uri;
    };
    struct Binding
    {
        std::string prefix;
        std::string uri;
    };
    struct OpenElement
    {
        size_t nameOffset;
        size_t nameLength;
        size_t bindings; // the number of bindings in scope outside the element
    };

    void start();
    void xmlDeclaration();
    void topLevel();
    void content();
    void plainContent();
    void plainContentSteps();
    void plainContentVex();
    void pushElement(const char *name, size_t length, size_t bindings, bool spare);
    // The start (at `tag`, with its local name) and the end of an element at `depth`, for the
    // item run. Start tags of the quick steps have no prefix, so their name is the local one.
    void noteStart(size_t depth, const char *tag, std::string_view localName)
    {
        if (m_run && depth == m_run->depth) [[unlikely]]
            noteItemStart(tag, localName);
    }
    void noteEnd(size_t depth, const char *after)
    {
        if (m_run && (depth == m_run->depth || depth + 1 == m_run->depth)) [[unlikely]]
            noteItemEnd(depth, after);
    }
    void noteItemStart(const char *tag, std::string_view localName);
    void noteItemEnd(size_t depth, const char *after);
    void text();
    void otherCharacters();
    void otherCharacter();
    void reference();
    void startTag();
    void attributeValue(Attribute &attribute);
    void declareNamespaces();
    std::string_view resolve(std::string_view prefix, const char *at) const;
    void checkNamespacedAttributes();
    void endTag();
    void comment();
    void processingInstruction();
    void cdataSection();
    void endOfText();

    // `noNameAt` is where a missing name is reported (the name's place when null).
    QName qualifiedName(const char *invalid, const char *noNameAt = nullptr);
    const char *ncNameEnd(const char *from) const;
    unsigned character(const char *at, int *length) const;
    bool skipSpace();
    void expect(char c, const char *where);
    bool startsWith(std::string_view text) const;
    void require(size_t bytes) const
    {
        if (size_t(m_end - m_p) < bytes)
            needMore();
    }
    [[noreturn, gnu::cold]] void needMore() const;
    [[noreturn, gnu::cold]] void fail(const char *at, const QString &description) const;
    std::string decodedValue(const Attribute &attribute) const;

    const char *m_begin = nullptr;
    const char *m_p = nullptr;
    const char *m_end = nullptr;
    const char *m_commit = nullptr;
    bool m_last = false;
    qint64 m_offset = 0; // of m_begin from the start of the text

    bool m_started = false;
    bool m_rootSeen = false;
    bool m_finished = false;
    // The qualified names of the open elements, one after the other, and room after them; the
    // stack of open elements tells where each name is.
    std::string m_names;
    std::vector<OpenElement> m_open;
    std::vector<Binding> m_bindings;
    std::vector<Attribute> m_attributes;

    XmlItemRun *m_run = nullptr;
    bool m_inItem = false;    // the element open at the run's depth is an item
    bool m_pastItems = false; // another element or the items' parent's end came after an item
    qint64 m_windowStart = 0; // of the window the items are noted into

    QString m_fault;
    qint64 m_faultOffset = -1;
};

#include "reports/XmlWellFormedCheck.h"

#include "reports/XmlScan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr std::string_view xmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view xmlnsNamespace = "http://www.w3.org/2000/xmlns/";

using XmlScan::isAsciiName;
using XmlScan::isSpace;

constexpr std::array<uint8_t, 256> asciiNameTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned c = 0; c < 128; ++c)
        table[c] = XmlScan::isAsciiNameStart(c) ? 3 : isAsciiName(c) ? 1 : 0;
    return table;
}

constexpr std::array<uint8_t, 256> asciiNames = asciiNameTable(); // 1: name character, 2: also a first one

bool isXmlChar(unsigned c)
{
    return (c >= 0x20 && c <= 0xD7FF) || c == 0x9 || c == 0xA || c == 0xD || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

constexpr bool nameStartRanges(unsigned c)
{
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

constexpr bool nameRanges(unsigned c)
{
    return nameStartRanges(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// The characters below U+10000 that may begin a name and that may continue one, a bit each.
struct NameTables
{
    std::array<uint64_t, 1024> start{};
    std::array<uint64_t, 1024> name{};
};

NameTables nameTables()
{
    NameTables tables;
    for (unsigned c = 0; c < 0x10000; ++c) {
        tables.start[c / 64] |= uint64_t(nameStartRanges(c)) << (c % 64);
        tables.name[c / 64] |= uint64_t(nameRanges(c)) << (c % 64);
    }
    return tables;
}

// Made on first use (a compiler's limit on compile-time work is lower than the 65,536 steps).
const NameTables &names()
{
    static const NameTables tables = nameTables();
    return tables;
}

bool isNameStartCode(unsigned c)
{
    return c < 0x10000 ? names().start[c / 64] >> (c % 64) & 1 : c <= 0xEFFFF;
}

bool isNameCode(unsigned c)
{
    return c < 0x10000 ? names().name[c / 64] >> (c % 64) & 1 : c <= 0xEFFFF;
}

QString quoted(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString codePoint(unsigned c)
{
    return QStringLiteral("U+%1").arg(c, 4, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("X"), "x");
}

void appendUtf8(std::string &out, unsigned c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

constexpr std::pair<std::string_view, char> predefinedEntities[] = {
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};

// The item of `items` whose key repeats that of an earlier one, or null.
template<class Item, class KeyOf> const Item *repeatedKey(const std::vector<const Item *> &items, KeyOf keyOf)
{
    if (items.size() <= 16) {
        for (size_t i = 1; i < items.size(); ++i)
            for (size_t k = 0; k < i; ++k)
                if (keyOf(*items[i]) == keyOf(*items[k]))
                    return items[i];
        return nullptr;
    }
    // Many attributes (a hostile tag) are sorted rather than compared pairwise.
    std::vector<const Item *> sorted = items;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const Item *a, const Item *b) { return keyOf(*a) < keyOf(*b); });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (keyOf(*sorted[i]) == keyOf(*sorted[i - 1]))
            return sorted[i];
    return nullptr;
}

// `size` rounded up to a multiple of 16.
constexpr size_t roundedUp(size_t size)
{
    return (size + 15) & ~size_t(15);
}

} // namespace

size_t XmlWellFormedCheck::feed(const char *data, size_t size, bool last)
{
    if (failed() || m_finished)
        return 0;
    m_begin = m_p = m_commit = data;
    m_end = data + size;
    m_last = last;
    try {
        if (!m_started)
            start();
        for (;;) {
            m_commit = m_p;
            if (m_p == m_end) {
                if (m_last) {
                    endOfText();
                    m_finished = true;
                }
                break;
            }
            if (m_open.empty())
                topLevel();
            else
                content();
        }
    } catch (const NeedMore &) {
    } catch (const Fault &fault) {
        m_fault = fault.description;
        m_faultOffset = m_offset + (fault.at - m_begin);
        return 0;
    }
    const size_t consumed = m_commit - m_begin;
    m_offset += qint64(consumed);
    return consumed;
}

void XmlWellFormedCheck::start()
{
    if (startsWith("\xEF\xBB\xBF"))
        m_p += 3;
    if (startsWith("<?xml")) {
        require(6);
        if (isSpace(m_p[5]))
            xmlDeclaration();
    }
    m_started = true;
}

void XmlWellFormedCheck::xmlDeclaration()
{
    const char *at = m_p;
    m_p += 5;
    const auto quotedValue = [this]() {
        const char quote = *m_p;
        if (quote != '"' && quote != '\'')
            fail(m_p, QStringLiteral("Value without quotes in the XML declaration"));
        const char *begin = ++m_p;
        for (;; ++m_p) {
            require(1);
            if (*m_p == quote)
                break;
        }
        return std::string_view(begin, ++m_p - begin - 1);
    };
    const auto equals = [this]() {
        skipSpace();
        expect('=', "in the XML declaration");
        skipSpace();
    };
    skipSpace();
    if (!startsWith("version"))
        fail(m_p, QStringLiteral("XML declaration without a version"));
    m_p += 7;
    equals();
    const char *versionAt = m_p;
    const std::string_view version = quotedValue();
    if (version.size() < 3 || !version.starts_with("1.") ||
        !std::all_of(version.begin() + 2, version.end(), [](char c) { return c >= '0' && c <= '9'; }))
        fail(versionAt, QStringLiteral("Unknown XML version '%1'").arg(quoted(version)));
    int part = 0; // 0: encoding or standalone may follow, 1: standalone may, 2: nothing
    for (;;) {
        const bool space = skipSpace();
        if (startsWith("?>")) {
            m_p += 2;
            return;
        }
        const char *pseudoAttribute = m_p;
        if (space && part == 0 && startsWith("encoding")) {
            m_p += 8;
            equals();
            const std::string_view name = quotedValue();
            // A letter, then letters, digits, '.', '_' and '-'.
            if (name.empty() || !((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z') ||
                !std::all_of(name.begin(), name.end(),
                             [](char c) { return isAsciiName(static_cast<unsigned char>(c)); }))
                fail(pseudoAttribute, QStringLiteral("Invalid encoding name '%1'").arg(quoted(name)));
            part = 1;
        } else if (space && part < 2 && startsWith("standalone")) {
            m_p += 10;
            equals();
            const std::string_view value = quotedValue();
            if (value != "yes" && value != "no")
                fail(pseudoAttribute, QStringLiteral("Invalid standalone value '%1'").arg(quoted(value)));
            part = 2;
        } else {
            fail(at, QStringLiteral("Malformed XML declaration"));
        }
    }
}

void XmlWellFormedCheck::topLevel()
{
    if (isSpace(*m_p)) {
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
        return;
    }
    if (*m_p != '<')
        fail(m_p, m_rootSeen ? QStringLiteral("Text after the document element")
                             : QStringLiteral("Text before the document element"));
    require(2);
    if (m_p[1] == '?') {
        processingInstruction();
    } else if (m_p[1] == '!') {
        if (startsWith("<!--"))
            comment();
        else if (startsWith("<!DOCTYPE"))
            fail(m_p, QStringLiteral("Document type declaration"));
        else
            fail(m_p, QStringLiteral("Malformed markup"));
    } else if (m_p[1] == '/') {
        fail(m_p, QStringLiteral("End tag without a start tag"));
    } else {
        if (m_rootSeen)
            fail(m_p + 1, QStringLiteral("More than one document element"));
        startTag();
    }
}

// Content of the document element, until it is closed or the text fed so far ends.
void XmlWellFormedCheck::content()
{
    do {
        plainContent();
        if (m_open.empty())
            return;
        text();
        if (m_p == m_end)
            return;
        if (*m_p == '&') {
            reference();
            continue;
        }
        require(2);
        switch (m_p[1]) {
        case '/':
            endTag();
            break;
        case '?':
            processingInstruction();
            break;
        case '!':
            if (startsWith("<!--"))
                comment();
            else if (startsWith("<![CDATA["))
                cdataSection();
            else
                fail(m_p, QStringLiteral("Malformed markup"));
            break;
        default:
            startTag();
        }
    } while (!m_open.empty());
}

// Puts the element on the stack of open elements. Its name is copied in pieces of 16 bytes
// when `spare` says that the name's piece at the end can be read whole.
inline void XmlWellFormedCheck::pushElement(const char *name, size_t length, size_t bindings, bool spare)
{
    const size_t offset = m_open.empty() ? 0 : m_open.back().nameOffset + m_open.back().nameLength;
    // Room for the last piece of the copy, and for that of a comparison with the name.
    if (m_names.size() < offset + roundedUp(length))
        m_names.resize(std::max(2 * m_names.size(), offset + roundedUp(length) + 256));
    if (spare)
        XmlScan::copyBytes(m_names.data() + offset, name, length);
    else
        std::memcpy(m_names.data() + offset, name, length);
    m_open.push_back({offset, length, bindings});
}

// The common forms of content, taken without the general steps: text without references,
// start tags without attributes or prefix, and end tags that name their element followed by
// '>'. Whatever else comes is left at the cursor, untouched, for the general steps, which
// then find any fault in it as they would without this path.
[[gnu::always_inline]] inline void XmlWellFormedCheck::plainContentSteps()
{
    const char *p = m_p;
    while (!m_open.empty()) {
        // Mostly the text between two tags is a line end and the next line's indentation.
        const char *tag = p;
        if (*p == '\n' && m_end - p > 16)
            tag = XmlScan::blanksEnd(p + 1);
        if (*tag != '<')
            tag = XmlScan::find<XmlScan::textStops>(tag, m_end);
        m_p = m_commit = tag;
        if (*tag != '<' || m_end - tag < 3)
            return;
        if (tag[1] == '/') {
            const OpenElement &open = m_open.back();
            const char *const name = tag + 2;
            if (size_t(m_end - name) < roundedUp(open.nameLength) || name[open.nameLength] != '>' ||
                !XmlScan::sameBytes(name, m_names.data() + open.nameOffset, open.nameLength))
                return;
            if (m_bindings.size() != open.bindings)
                m_bindings.resize(open.bindings);
            m_open.pop_back();
            p = name + open.nameLength + 1;
            noteEnd(m_open.size() + 1, p);
        } else {
            if (!(asciiNames[static_cast<unsigned char>(tag[1])] & 2))
                return;
            const char *const nameEnd = XmlScan::find<XmlScan::nameStops>(tag + 2, m_end);
            if (*nameEnd != '>' || nameEnd == m_end)
                return;
            const size_t length = size_t(nameEnd - tag - 1);
            if (size_t(m_end - tag - 1) < roundedUp(length))
                return;
            // An element that holds nothing but text ends before it need be put on the stack.
            const char *const value = nameEnd + 1;
            const char *const valueEnd = XmlScan::find<XmlScan::textStops>(value, m_end);
            if (*valueEnd == '<' && valueEnd[1] == '/' && size_t(m_end - valueEnd - 2) >= roundedUp(length) &&
                valueEnd[2 + length] == '>' && XmlScan::sameBytes(valueEnd + 2, tag + 1, length)) {
                p = valueEnd + 3 + length;
                noteStart(m_open.size() + 1, tag, std::string_view(tag + 1, length));
                noteEnd(m_open.size() + 1, p);
                continue;
            }
            noteStart(m_open.size() + 1, tag, std::string_view(tag + 1, length));
            pushElement(tag + 1, length, m_bindings.size(), true);
            p = value;
        }
    }
    m_p = m_commit = p;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same steps in the three-operand (VEX) form of the same vector instructions, which spares
// the register copies of SSE2's two-operand form, on processors that have it.
[[gnu::target("avx")]] void XmlWellFormedCheck::plainContentVex()
{
    plainContentSteps();
}
#endif

void XmlWellFormedCheck::plainContent()
{
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool vex = __builtin_cpu_supports("avx");
    if (vex)
        return plainContentVex();
#endif
    plainContentSteps();
}

// Character data up to the next markup or reference, or to the end of what has been fed.
void XmlWellFormedCheck::text()
{
    for (;;) {
        m_p = XmlScan::find<XmlScan::textStops>(m_p, m_end);
        m_commit = m_p;
        if (m_p == m_end || *m_p == '<' || *m_p == '&')
            return;
        if (*m_p == ']') {
            if (m_end - m_p < 3 && !m_last)
                needMore();
            if (m_end - m_p >= 3 && m_p[1] == ']' && m_p[2] == '>')
                fail(m_p, QStringLiteral("']]>' in text"));
            ++m_p;
            continue;
        }
        otherCharacters();
    }
}

// The characters from the cursor to the next ASCII byte, when all are allowed; otherwise the
// first one, with its fault.
void XmlWellFormedCheck::otherCharacters()
{
    if (const size_t run = XmlScan::validUtf8Run(m_p, m_end))
        m_p += run;
    else
        otherCharacter();
}

void XmlWellFormedCheck::otherCharacter()
{
    const auto c = static_cast<unsigned char>(*m_p);
    int length = 1;
    const unsigned code = c < 0x80 ? c : character(m_p, &length);
    if (!isXmlChar(code))
        fail(m_p, QStringLiteral("Character not allowed in XML: %1").arg(codePoint(code)));
    m_p += length;
}

void XmlWellFormedCheck::reference()
{
    const char *at = m_p;
    require(2);
    if (m_p[1] == '#') {
        require(3);
        const bool hex = m_p[2] == 'x';
        m_p += hex ? 3 : 2;
        unsigned value = 0;
        int digits = 0;
        for (;; ++m_p) {
            require(1);
            const char c = *m_p;
            if (c == ';')
                break;
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                digit = (c | 0x20) - 'a' + 10;
            else
                fail(at, QStringLiteral("Malformed character reference"));
            value = std::min(value * (hex ? 16 : 10) + unsigned(digit), 0x110000u);
            ++digits;
        }
        ++m_p;
        if (digits == 0)
            fail(at, QStringLiteral("Malformed character reference"));
        if (!isXmlChar(value))
            fail(at, QStringLiteral("Character reference to a character that XML does not allow: %1")
                         .arg(quoted(std::string_view(at, m_p - at))));
        return;
    }
    const char *name = m_p + 1;
    const char *nameEnd = ncNameEnd(name);
    if (nameEnd == name || *nameEnd != ';')
        fail(at, QStringLiteral("Unescaped '&'"));
    const std::string_view entity(name, nameEnd - name);
    if (std::none_of(std::begin(predefinedEntities), std::end(predefinedEntities),
                     [entity](const auto &predefined) { return predefined.first == entity; }))
        fail(at, QStringLiteral("Reference to an undeclared entity: '&%1;'").arg(quoted(entity)));
    m_p = nameEnd + 1;
}

void XmlWellFormedCheck::startTag()
{
    const char *tag = m_p++;
    const QName name = qualifiedName("Unescaped '<' or an invalid element name", tag);
    m_attributes.clear();
    bool empty;
    for (;;) {
        const bool space = skipSpace();
        if (*m_p == '>') {
            ++m_p;
            empty = false;
            break;
        }
        if (*m_p == '/') {
            require(2);
            if (m_p[1] != '>')
                fail(m_p, QStringLiteral("Malformed start tag"));
            m_p += 2;
            empty = true;
            break;
        }
        if (!space)
            fail(m_p, QStringLiteral("Malformed start tag"));
        Attribute attribute;
        attribute.name = qualifiedName("Invalid attribute name");
        skipSpace();
        expect('=', "after an attribute name");
        skipSpace();
        attributeValue(attribute);
        m_attributes.push_back(attribute);
    }

    const size_t outerBindings = m_bindings.size();
    if (!m_attributes.empty())
        declareNamespaces();
    if (name.colon != std::string_view::npos)
        resolve(name.prefix(), name.text.data());
    if (!m_attributes.empty())
        checkNamespacedAttributes();
    m_rootSeen = true;
    noteStart(m_open.size() + 1, tag, name.local());
    if (empty) {
        m_bindings.resize(outerBindings);
        noteEnd(m_open.size() + 1, m_p);
        return;
    }
    pushElement(name.text.data(), name.text.size(), outerBindings, false);
}

void XmlWellFormedCheck::attributeValue(Attribute &attribute)
{
    const char quote = *m_p;
    if (quote != '"' && quote != '\'')
        fail(m_p, QStringLiteral("Attribute value without quotes"));
    attribute.valueBegin = ++m_p;
    for (;;) {
        m_p = XmlScan::find<XmlScan::attributeStops>(m_p, m_end);
        if (m_p == m_end)
            needMore();
        const char c = *m_p;
        if (c == quote)
            break;
        if (c == '"' || c == '\'')
            ++m_p;
        else if (c == '<')
            fail(m_p, QStringLiteral("'<' in an attribute value"));
        else if (c == '&')
            reference();
        else
            otherCharacters();
    }
    attribute.valueEnd = m_p++;
}

void XmlWellFormedCheck::declareNamespaces()
{
    std::vector<const Attribute *> attributes;
    attributes.reserve(m_attributes.size());
    for (const Attribute &attribute : m_attributes)
        attributes.push_back(&attribute);
    if (const Attribute *repeated = repeatedKey(attributes, [](const Attribute &a) { return a.name.text; }))
        fail(repeated->name.text.data(),
             QStringLiteral("Duplicate attribute '%1'").arg(quoted(repeated->name.text)));

    for (const Attribute &attribute : m_attributes) {
        const bool isDefault = attribute.name.text == "xmlns";
        if (!isDefault && attribute.name.prefix() != "xmlns")
            continue;
        const char *at = attribute.name.text.data();
        const std::string_view prefix = isDefault ? std::string_view() : attribute.name.local();
        std::string uri = decodedValue(attribute);
        if (prefix == "xmlns")
            fail(at, QStringLiteral("The prefix 'xmlns' cannot be declared"));
        if (prefix == "xml") {
            if (uri != xmlNamespace)
                fail(at, QStringLiteral("The prefix 'xml' cannot be bound to another namespace"));
            continue;
        }
        if (uri == xmlNamespace || uri == xmlnsNamespace)
            fail(at, QStringLiteral("The namespace '%1' cannot be declared").arg(quoted(uri)));
        if (!isDefault && uri.empty())
            fail(at, QStringLiteral("The prefix '%1' cannot be undeclared").arg(quoted(prefix)));
        m_bindings.push_back({std::string(prefix), std::move(uri)});
    }
}

std::string_view XmlWellFormedCheck::resolve(std::string_view prefix, const char *at) const
{
    if (prefix == "xml")
        return xmlNamespace;
    if (prefix == "xmlns")
        fail(at, QStringLiteral("The prefix 'xmlns' is reserved for namespace declarations"));
    for (auto binding = m_bindings.rbegin(); binding != m_bindings.rend(); ++binding)
        if (binding->prefix == prefix)
            return binding->uri;
    fail(at, QStringLiteral("Reference to undeclared namespace prefix: '%1'").arg(quoted(prefix)));
}

// Prefixed attributes name a namespace and a local name, which must differ for each.
void XmlWellFormedCheck::checkNamespacedAttributes()
{
    std::vector<const Attribute *> namespaced;
    for (Attribute &attribute : m_attributes) {
        if (attribute.name.colon == std::string_view::npos || attribute.name.prefix() == "xmlns")
            continue;
        attribute.uri = resolve(attribute.name.prefix(), attribute.name.text.data());
        namespaced.push_back(&attribute);
    }
    const auto expandedName = [](const Attribute &a) { return std::make_pair(a.uri, a.name.local()); };
    if (const Attribute *repeated = repeatedKey(namespaced, expandedName))
        fail(repeated->name.text.data(), QStringLiteral("Duplicate attribute '%1' in the namespace '%2'")
                                             .arg(quoted(repeated->name.local()), quoted(repeated->uri)));
}

void XmlWellFormedCheck::endTag()
{
    const char *at = m_p;
    m_p += 2;
    const OpenElement open = m_open.back();
    const std::string_view started(m_names.data() + open.nameOffset, open.nameLength);
    // Nearly always the end tag names its element, followed by a character that ends a name.
    if (size_t(m_end - m_p) > started.size() && std::string_view(m_p, started.size()) == started &&
        !asciiNames[static_cast<unsigned char>(m_p[started.size()])] && m_p[started.size()] != ':' &&
        static_cast<unsigned char>(m_p[started.size()]) < 0x80) {
        m_p += started.size();
    } else {
        const QName name = qualifiedName("Invalid element name in an end tag");
        if (name.text != started)
            fail(at, QStringLiteral("End tag '</%1>' does not match the start tag '<%2>'")
                         .arg(quoted(name.text), quoted(started)));
    }
    skipSpace();
    expect('>', "at the end of an end tag");
    m_bindings.resize(open.bindings);
    m_open.pop_back();
    noteEnd(m_open.size() + 1, m_p);
}

void XmlWellFormedCheck::noteItemStart(const char *tag, std::string_view localName)
{
    m_inItem = localName == m_run->localName;
    if (!m_inItem) {
        if (m_run->begin >= 0)
            m_pastItems = true;
        return;
    }
    if (m_pastItems)
        m_run->scattered = true;
    if (m_run->begin < 0)
        m_run->begin = m_windowStart = m_offset + (tag - m_begin);
}

void XmlWellFormedCheck::noteItemEnd(size_t depth, const char *after)
{
    if (depth < m_run->depth) {
        // The end of the items' parent, or of another element at the parent's depth.
        if (m_run->begin >= 0)
            m_pastItems = true;
        return;
    }
    if (!m_inItem)
        return;
    m_inItem = false;
    const qint64 at = m_offset + (after - m_begin);
    m_run->end = at;
    if (at - m_windowStart >= m_run->windowBytes) {
        m_run->cuts.push_back(at);
        m_windowStart = at;
    }
}

void XmlWellFormedCheck::comment()
{
    m_p += 4;
    for (;;) {
        m_p = XmlScan::find<XmlScan::commentStops>(m_p, m_end);
        if (m_p == m_end)
            needMore();
        if (*m_p != '-') {
            otherCharacters();
            continue;
        }
        require(2);
        if (m_p[1] != '-') {
            ++m_p;
            continue;
        }
        require(3);
        if (m_p[2] != '>')
            fail(m_p, QStringLiteral("'--' in a comment"));
        m_p += 3;
        return;
    }
}

void XmlWellFormedCheck::processingInstruction()
{
    const char *at = m_p;
    m_p += 2;
    const char *targetEnd = ncNameEnd(m_p);
    if (targetEnd == m_p || *targetEnd == ':')
        fail(m_p, QStringLiteral("Invalid processing instruction target"));
    const std::string_view target(m_p, targetEnd - m_p);
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l')
        fail(at, target == "xml"
                     ? QStringLiteral("XML declaration not at the start of the document")
                     : QStringLiteral("Reserved processing instruction target '%1'").arg(quoted(target)));
    m_p = targetEnd;
    if (startsWith("?>")) {
        m_p += 2;
        return;
    }
    if (!skipSpace())
        fail(m_p, QStringLiteral("Malformed processing instruction"));
    for (;;) {
        m_p = XmlScan::find<XmlScan::piStops>(m_p, m_end);
        if (m_p == m_end)
            needMore();
        if (*m_p != '?') {
            otherCharacters();
            continue;
        }
        require(2);
        if (m_p[1] == '>') {
            m_p += 2;
            return;
        }
        ++m_p;
    }
}

void XmlWellFormedCheck::cdataSection()
{
    m_p += 9;
    for (;;) {
        m_p = XmlScan::find<XmlScan::cdataStops>(m_p, m_end);
        if (m_p == m_end)
            needMore();
        if (*m_p != ']') {
            otherCharacters();
            continue;
        }
        require(3);
        if (m_p[1] == ']' && m_p[2] == '>') {
            m_p += 3;
            return;
        }
        ++m_p;
    }
}

void XmlWellFormedCheck::endOfText()
{
    if (!m_open.empty()) {
        const OpenElement &open = m_open.back();
        fail(m_end, QStringLiteral("Element '<%1>' is not closed")
                        .arg(quoted(std::string_view(m_names.data() + open.nameOffset, open.nameLength))));
    }
    if (!m_rootSeen)
        fail(m_end, QStringLiteral("No document element"));
}

XmlWellFormedCheck::QName XmlWellFormedCheck::qualifiedName(const char *invalid, const char *noNameAt)
{
    const char *begin = m_p;
    const char *end = ncNameEnd(begin);
    if (end == begin)
        fail(noNameAt ? noNameAt : begin, QString::fromLatin1(invalid));
    size_t colon = std::string_view::npos;
    if (*end == ':') {
        colon = end - begin;
        const char *local = end + 1;
        end = ncNameEnd(local);
        if (end == local || *end == ':')
            fail(begin, QString::fromLatin1(invalid));
    }
    m_p = end;
    return {std::string_view(begin, end - begin), colon};
}

// The end of the name without colons that begins at `from`; `from` itself when none does.
const char *XmlWellFormedCheck::ncNameEnd(const char *from) const
{
    if (from == m_end)
        needMore();
    const char *p = from;
    int length = 1;
    const auto first = static_cast<unsigned char>(*p);
    if (first < 0x80 ? !(asciiNames[first] & 2) : !isNameStartCode(character(p, &length)))
        return p;
    p += length;
    for (;;) {
        p = XmlScan::find<XmlScan::nameStops>(p, m_end);
        if (p == m_end)
            needMore();
        if (static_cast<unsigned char>(*p) < 0x80 || !isNameCode(character(p, &length)))
            return p;
        p += length;
    }
}

unsigned XmlWellFormedCheck::character(const char *at, int *length) const
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(at);
    const unsigned lead = bytes[0];
    if (lead < 0x80) {
        *length = 1;
        return lead;
    }
    unsigned code;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        *length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        *length = 3;
        code = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        *length = 4;
        code = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        fail(at, QStringLiteral("Not valid UTF-8"));
    }
    if (m_end - at < *length)
        needMore();
    if (bytes[1] < low || bytes[1] > high)
        fail(at, QStringLiteral("Not valid UTF-8"));
    code = code << 6 | (bytes[1] & 0x3F);
    for (int k = 2; k < *length; ++k) {
        if ((bytes[k] & 0xC0) != 0x80)
            fail(at, QStringLiteral("Not valid UTF-8"));
        code = code << 6 | (bytes[k] & 0x3F);
    }
    return code;
}

bool XmlWellFormedCheck::skipSpace()
{
    const char *from = m_p;
    while (isSpace(*m_p))
        ++m_p;
    if (m_p == m_end)
        needMore();
    return m_p != from;
}

void XmlWellFormedCheck::expect(char c, const char *where)
{
    if (*m_p != c) // the zero byte after the text is no character expected here
        fail(m_p, QStringLiteral("'%1' expected %2").arg(QChar::fromLatin1(c)).arg(QLatin1String(where)));
    ++m_p;
}

// Whether the text at the cursor begins with `text`; needs more text to tell when it might.
bool XmlWellFormedCheck::startsWith(std::string_view text) const
{
    const size_t available = std::min(size_t(m_end - m_p), text.size());
    if (std::string_view(m_p, available) != text.substr(0, available))
        return false;
    if (available < text.size()) {
        if (m_last)
            return false;
        needMore();
    }
    return true;
}

void XmlWellFormedCheck::needMore() const
{
    if (m_last)
        fail(m_end, QStringLiteral("Unexpected end of the text"));
    throw NeedMore{};
}

void XmlWellFormedCheck::fail(const char *at, const QString &description) const
{
    throw Fault{at, description};
}

// The attribute's value as a namespace name: references replaced, white space made blanks.
std::string XmlWellFormedCheck::decodedValue(const Attribute &attribute) const
{
    std::string value;
    for (const char *p = attribute.valueBegin; p < attribute.valueEnd; ++p) {
        if (*p == '\r' && p + 1 < attribute.valueEnd && p[1] == '\n')
            continue;
        if (isSpace(*p)) {
            value += ' ';
        } else if (*p != '&') {
            value += *p;
        } else if (p[1] == '#') {
            const bool hex = p[2] == 'x';
            p += hex ? 3 : 2;
            unsigned code = 0;
            for (; *p != ';'; ++p)
                code = code * (hex ? 16 : 10) + unsigned(*p <= '9' ? *p - '0' : (*p | 0x20) - 'a' + 10);
            appendUtf8(value, code);
        } else {
            const char *end = p + 1;
            while (*end != ';')
                ++end;
            const std::string_view entity(p + 1, end - p - 1);
            for (const auto &[name, character] : predefinedEntities)
                if (name == entity)
                    value += character;
            p = end;
        }
    }
    return value;
}

#include "reports/XmlWellFormedCheck.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <QList>

namespace {

struct Verdict
{
    bool failed;
    QString fault;
    qint64 offset;
};

Verdict checkWhole(const QByteArray &text)
{
    XmlWellFormedCheck check;
    const size_t consumed = check.feed(text.constData(), size_t(text.size()), true);
    EXPECT_TRUE(check.failed() || (check.finished() && consumed == size_t(text.size())));
    return {check.failed(), check.fault(), check.faultOffset()};
}

// The text fed in two pieces split at `split`, the unconsumed rest carried in front of the next
// piece, as a check that reads a file in pieces does.
Verdict checkSplit(const QByteArray &text, qsizetype split)
{
    XmlWellFormedCheck check;
    QByteArray piece = text.left(split);
    const size_t consumed = check.feed(piece.constData(), size_t(piece.size()), false);
    if (!check.failed()) {
        piece = piece.mid(qsizetype(consumed)) + text.mid(split);
        check.feed(piece.constData(), size_t(piece.size()), true);
    }
    return {check.failed(), check.fault(), check.faultOffset()};
}

const QByteArray envelopeStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r xmlns=\"urn:a\">";

} // namespace

TEST(XmlWellFormedCheckTest, AcceptsTheLegalForms)
{
    const QList<QByteArray> documents = {
        "<r/>",
        "\xEF\xBB\xBF<r/>",
        "<?xml version='1.0' standalone='yes'?><r/>",
        "<?xml version=\"1.1\" encoding='windows-1250' ?>\r\n<r></r >\r\n",
        "<?xml version='1.0' encoding='Shift_JIS'?><r/>",
        envelopeStart + "<a b='1' c=\"'\" d='\"'/>x &amp; &lt;&gt;&apos;&quot; &#65;&#x10FFFF;&#xD7FF;</r>",
        envelopeStart + "<![CDATA[ <&]] ]> ]]><!-- a - b --><!----><?pi data ? >?><?pi?></r>",
        envelopeStart + "<p:a xmlns:p='urn:b' p:x='1' x='2' xml:lang='sl'><p:b/></p:a></r>",
        "<p:r xmlns:p='urn:b'><q:a xmlns:q='urn:b' xmlns:p='urn:c' p:x='1' q:x='2'/></p:r>",
        "<r xmlns='urn:a'><a xmlns=''/><b xmlns:xml='http://www.w3.org/XML/1998/namespace'/></r>",
        "<?xml-stylesheet href='x'?><!-- before --><r/><!-- after --> <?after?>\n",
        "<\xC4\x8Cuk \xC5\xA0t='\xC5\xBD'>\xC4\x90 \xE2\x80\x93 \xF0\x9F\x98\x80 \xC2\x85</\xC4\x8Cuk>",
        "<r>]] ] ]]&gt;</r>",
        "<r a='&#x26;&#60;'>\t\n</r>",
    };
    for (const QByteArray &document : documents) {
        const Verdict whole = checkWhole(document);
        EXPECT_FALSE(whole.failed) << document.toStdString() << ": " << whole.fault.toStdString();
    }
}

TEST(XmlWellFormedCheckTest, RefusesWhatIsNotWellFormedNamingWhere)
{
    const struct
    {
        QByteArray text;
        const char *fault;
        const char *at; // the text from where the fault is reported
    } cases[] = {
        {envelopeStart + "a & b</r>", "Unescaped '&'", "& b"},
        {envelopeStart + "AT&T;</r>", "Reference to an undeclared entity: '&T;'", "&T;"},
        {envelopeStart + "&nbsp;</r>", "Reference to an undeclared entity: '&nbsp;'", "&nbsp;"},
        {envelopeStart + "a < b</r>", "Unescaped '<'", "< b"},
        {envelopeStart + "<a b='<'/></r>", "'<' in an attribute value", "<'/>"},
        {envelopeStart + "<a b=\"&x;\"/></r>", "undeclared entity", "&x;\""},
        {envelopeStart + "&#0;</r>", "does not allow: &#0;", "&#0;"},
        {envelopeStart + "&#x1;</r>", "does not allow: &#x1;", "&#x1;"},
        {envelopeStart + "&#xD800;</r>", "does not allow", "&#xD800;"},
        {envelopeStart + "&#xFFFE;</r>", "does not allow", "&#xFFFE;"},
        {envelopeStart + "&#99999999999;</r>", "does not allow", "&#99999999999;"},
        {envelopeStart + "&#;</r>", "Malformed character reference", "&#;"},
        {envelopeStart + "&#x12g;</r>", "Malformed character reference", "&#x12g;"},
        {envelopeStart + "a\x01z</r>", "Character not allowed in XML: U+0001", "\x01z"},
        {envelopeStart + "<a b='\x1F'/></r>", "Character not allowed in XML: U+001F", "\x1F'"},
        {envelopeStart + "a\xEF\xBF\xBFz</r>", "Character not allowed in XML: U+FFFF", "\xEF\xBF\xBFz"},
        {envelopeStart + "a\xC3z</r>", "Not valid UTF-8", "\xC3z"},
        {envelopeStart + "a]]>b</r>", "']]>' in text", "]]>b"},
        {envelopeStart + "<!-- a -- b --></r>", "'--' in a comment", "-- b"},
        {envelopeStart + "<!-- a ---></r>", "'--' in a comment", "---></r>"},
        {envelopeStart + "<a b='1' b='2'/></r>", "Duplicate attribute 'b'", "b='2'"},
        {envelopeStart + "<a xmlns:p='urn:x' xmlns:q='urn:x' p:b='1' q:b='2'/></r>",
         "Duplicate attribute 'b'", "q:b"},
        {"\n<?xml version=\"1.0\"?><r/>", "XML declaration not at the start", "<?xml"},
        {envelopeStart + "<?xml version=\"1.0\"?></r>", "XML declaration not at the start", "<?xml"},
        {envelopeStart + "<?XML x?></r>", "Reserved processing instruction target 'XML'", "<?XML"},
        {"<?xml version=\"2.0\"?><r/>", "Unknown XML version '2.0'", "\"2.0\""},
        {"<?xml encoding=\"UTF-8\"?><r/>", "XML declaration without a version", "encoding"},
        {"<?xml version=\"1.0\" standalone='yes' encoding='UTF-8'?><r/>", "Malformed XML declaration",
         "<?xml"},
        {"<r/><r/>", "More than one document element", "r/>"},
        {"<r/>text", "Text after the document element", "text"},
        {"x<r/>", "Text before the document element", "x<r/>"},
        {"<r/>&amp;", "Text after the document element", "&amp;"},
        {"<p:r/>", "Reference to undeclared namespace prefix: 'p'", "p:r/>"},
        {envelopeStart + "<a p:b='1'/></r>", "Reference to undeclared namespace prefix: 'p'", "p:b"},
        {"<p:r xmlns:p='urn:a'/><!-- --><p:s/>", "More than one document element", "p:s/>"},
        {envelopeStart + "<a xmlns:p=''/></r>", "The prefix 'p' cannot be undeclared", "xmlns:p"},
        {envelopeStart + "<a xmlns:xmlns='urn:x'/></r>", "The prefix 'xmlns' cannot be declared",
         "xmlns:xmlns"},
        {envelopeStart + "<a xmlns:xml='urn:x'/></r>", "The prefix 'xml' cannot be bound", "xmlns:xml"},
        {envelopeStart + "<a xmlns='http://www.w3.org/2000/xmlns/'/></r>", "cannot be declared", "xmlns="},
        {envelopeStart + "<xmlns:a/></r>", "The prefix 'xmlns' is reserved", "xmlns:a"},
        {envelopeStart + "<a:b:c/></r>", "invalid element name", "a:b:c"},
        {envelopeStart + "<1a/></r>", "invalid element name", "<1a/>"},
        {envelopeStart + "<a></b></r>", "End tag '</b>' does not match the start tag '<a>'", "</b>"},
        {envelopeStart + "<a></ab></r>", "End tag '</ab>' does not match the start tag '<a>'", "</ab>"},
        {envelopeStart + "<ab></a></r>", "End tag '</a>' does not match the start tag '<ab>'", "</a>"},
        {envelopeStart + "<a>", "Element '<a>' is not closed", ""},
        {envelopeStart + "<a b='1'", "Unexpected end of the text", ""},
        {envelopeStart + "<a b=1/></r>", "Attribute value without quotes", "1/>"},
        {envelopeStart + "<a b='1'c='2'/></r>", "Malformed start tag", "c='2'"},
        {envelopeStart + "<!DOCTYPE r></r>", "Malformed markup", "<!DOCTYPE"},
        {"<!DOCTYPE r><r/>", "Document type declaration", "<!DOCTYPE"},
        {"", "No document element", ""},
        {"<!-- only -->", "No document element", ""},
        {"</r>", "End tag without a start tag", "</r>"},
    };
    for (const auto &c : cases) {
        const Verdict whole = checkWhole(c.text);
        ASSERT_TRUE(whole.failed) << c.text.toStdString();
        EXPECT_TRUE(whole.fault.contains(QString::fromUtf8(c.fault), Qt::CaseInsensitive))
            << c.text.toStdString() << ": " << whole.fault.toStdString();
        const qsizetype expected = *c.at ? c.text.lastIndexOf(c.at) : c.text.size();
        EXPECT_EQ(whole.offset, expected) << c.text.toStdString() << ": " << whole.fault.toStdString();
    }
}

// A file is checked in pieces: wherever a piece ends, the verdict and the place of a fault are
// those of the whole text.
TEST(XmlWellFormedCheckTest, PiecesGiveTheVerdictOfTheWholeText)
{
    const QList<QByteArray> texts = {
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><?pi x?><p:r xmlns:p='urn:a' "
        "a=\"&amp;&#x10FFFF;\"><![CDATA[x]]y]]><b>\xC4\x8C]]&gt;&#65;</b><c/>\xF0\x9F\x98\x80</p:r>\n<!-- e "
        "-->",
        envelopeStart + "<a>x]]>y</a></r>",
        envelopeStart + "<a>&#xD800;</a></r>",
        envelopeStart + "<!-- a -- b --></r>",
        envelopeStart + "<a b='1' b='2'/></r>",
        envelopeStart + "<a>\xC4\x8C\xEF\xBF\xBE</a></r>",
        "<r></r>trailing",
        "<r><p:a/></r>",
        "<r><a></ab></r>",
    };
    for (const QByteArray &text : texts) {
        const Verdict whole = checkWhole(text);
        for (qsizetype split = 0; split <= text.size(); ++split) {
            const Verdict pieces = checkSplit(text, split);
            EXPECT_EQ(pieces.failed, whole.failed) << text.toStdString() << " split at " << split;
            EXPECT_EQ(pieces.fault, whole.fault) << text.toStdString() << " split at " << split;
            EXPECT_EQ(pieces.offset, whole.offset) << text.toStdString() << " split at " << split;
        }
    }
}

TEST(XmlWellFormedCheckTest, ManyAttributesAreCheckedForDuplicates)
{
    QByteArray tag = "<r";
    for (int i = 0; i < 200; ++i)
        tag += " a" + QByteArray::number(i) + "='1'";
    EXPECT_FALSE(checkWhole(tag + "/>").failed);
    const Verdict duplicate = checkWhole(tag + " a17='2'/>");
    EXPECT_EQ(duplicate.fault, "Duplicate attribute 'a17'");
    EXPECT_EQ(duplicate.offset, tag.size() + 1);
}

#include "common/Exception.h"
#include "ReportFile.h"
#include "reports/PositionsReport.h"

#include <gtest/gtest.h>
#include <QStringEncoder>

namespace {

const QString slovenian = QString::fromUtf8("Čuk, Šorli & Žagar d.o.o. – ĐĆ");

QByteArray headerReport(const QByteArray &declaration, const QString &name)
{
    return declaration + "\n<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header><GUID>" +
           name.toHtmlEscaped().toUtf8() + "</GUID></Header><Body/></WSResponse>";
}

QByteArray encoded(const QString &text, const char *encoding)
{
    QStringEncoder encoder(encoding);
    QByteArray bytes = encoder(text);
    EXPECT_FALSE(encoder.hasError()) << encoding;
    return bytes;
}

QString guidOf(const QByteArray &bytes)
{
    ReportFile file(bytes);
    return PositionsReport::BindWSResponse(file.document())->Header()->GUID();
}

QString loadFailure(const QByteArray &bytes)
{
    ReportFile file(bytes);
    return messageOf<EXMLDocError>([&] { file.document().LoadFromFile(); });
}

} // namespace

TEST(XmlDocumentTest, ReadsEveryEncodingAsUnicode)
{
    const QString utf8Text = QString::fromUtf8(headerReport("<?xml version=\"1.0\"?>", slovenian));
    const struct
    {
        const char *label;
        QByteArray bytes;
    } cases[] = {
        {"UTF-8", headerReport("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", slovenian)},
        {"UTF-8 without declaration", headerReport("", slovenian)},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + headerReport("<?xml version=\"1.0\"?>", slovenian)},
        {"UTF-16LE with BOM", "\xFF\xFE" + encoded(utf8Text, "UTF-16LE")},
        {"UTF-16BE with BOM", "\xFE\xFF" + encoded(utf8Text, "UTF-16BE")},
        {"windows-1250", encoded(QString::fromUtf8(headerReport(
                                     "<?xml version=\"1.0\" encoding=\"windows-1250\"?>", slovenian)),
                                 "windows-1250")},
        {"iso-8859-2",
         encoded(QString::fromUtf8(headerReport("<?xml version='1.0' encoding='iso-8859-2'?>",
                                                QString::fromUtf8("Čuk, Šorli & Žagar d.o.o. - ĐĆ"))),
                 "iso-8859-2")},
    };
    for (const auto &c : cases) {
        const QString expected = QString(c.label) == "iso-8859-2"
                                     ? QString::fromUtf8("Čuk, Šorli & Žagar d.o.o. - ĐĆ")
                                     : slovenian;
        EXPECT_EQ(guidOf(c.bytes), expected) << c.label;
    }
}

TEST(XmlDocumentTest, RefusesEncodingsThatCannotBeConverted)
{
    EXPECT_TRUE(loadFailure(headerReport("<?xml version=\"1.0\" encoding=\"x-no-such-code\"?>", "a"))
                    .contains("declares the encoding \"x-no-such-code\", which cannot be converted"));
    // A report declared as UTF-8 but written in windows-1250 would lose its letters.
    const QByteArray mislabelled = encoded(QString::fromUtf8(headerReport("", slovenian)), "windows-1250");
    const qsizetype column = mislabelled.indexOf("<GUID>") + 6 - mislabelled.indexOf('\n');
    EXPECT_TRUE(loadFailure(mislabelled)
                    .endsWith(QStringLiteral("is not valid UTF-8 text (line 2, column %1)").arg(column)))
        << loadFailure(mislabelled).toStdString();
    EXPECT_TRUE(loadFailure(headerReport("<?xml version=\"1.0\" encoding=\"UTF-16\"?>", "a"))
                    .contains("declares the encoding \"UTF-16\", which cannot be converted"));
}

// The check that refuses malformed text also vouches for its UTF-8, wherever the byte stands.
TEST(XmlDocumentTest, InvalidUtf8IsNamedInEveryPlaceOfTheText)
{
    const char *const places[] = {
        "<r>a\xC3(</r>",           "<r a='\xC3('/>",      "<r><!--\xC3(--></r>", "<r><![CDATA[\xC3(]]></r>",
        "<r><?pi \xC3(?></r>",     "<r\xC3(/>",           "<r a\xC3(='1'/>",     "<r/><!--\xE2\x82-->",
        "<r>\xF4\x90\x80\x80</r>", "<r>\xED\xA0\x80</r>", "<r>\xC0\xAF</r>",
    };
    for (const char *place : places) {
        const QByteArray text = QByteArray("<?xml version=\"1.0\"?>\n") + place;
        EXPECT_TRUE(loadFailure(text).contains(QStringLiteral("is not valid UTF-8 text (line 2, column ")))
            << place << ": " << loadFailure(text).toStdString();
    }
}

TEST(XmlDocumentTest, MalformedFilesFailNamingWhere)
{
    const QByteArray whole = reportXml("<MemberAccountPositions><MemberCode>KDD</MemberCode>"
                                       "</MemberAccountPositions>");
    const struct
    {
        const char *label;
        QByteArray bytes;
        const char *position; // where the parser stopped: the last character, or the faulty name
    } cases[] = {
        {"truncated", whole.left(whole.indexOf("</Body>")), "line 6, column 2"},
        {"mismatched end tag", "<WSResponse>\n<Header></Heder>\n</WSResponse>", "line 2, column 11"},
        {"empty file", "", "line 1, column 1"},
        {"text only", "just text", "line 1, column 9"},
        {"two document elements",
         "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header/></WSResponse>\n<WSResponse/>",
         "line 2, column 2"},
    };
    for (const auto &c : cases) {
        const QString message = loadFailure(c.bytes);
        EXPECT_TRUE(message.startsWith("Report file \"")) << c.label;
        EXPECT_TRUE(message.contains("is not well-formed XML: ")) << c.label;
        EXPECT_TRUE(message.endsWith(QStringLiteral("(%1)").arg(c.position)))
            << c.label << ": " << message.toStdString();
    }
}

TEST(XmlDocumentTest, MissingFileFailsWithItsName)
{
    TXMLDocument document;
    document.setFileName("/nonexistent/MemberAccountPositions.xml");
    const QString message = messageOf<EXMLDocError>([&] { document.DocumentElement(); });
    EXPECT_TRUE(message.startsWith("Cannot open report file \"/nonexistent/MemberAccountPositions.xml\": "));
    EXPECT_FALSE(document.Active());
}

TEST(XmlDocumentTest, DocumentTypeDefinitionsAreRefusedAndNoEntityIsRead)
{
    TempDir secretDir;
    const QString secret = secretDir.write("secret.txt", "TOPSECRET");
    const QByteArray hostile =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE WSResponse [\n<!ENTITY xxe SYSTEM \"file://" + secret.toUtf8() +
        "\">\n]>\n<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">"
        "<Header><GUID>&xxe;</GUID></Header></WSResponse>";
    ReportFile file(hostile);
    const QString message =
        messageOf<EXMLDocError>([&] { PositionsReport::BindWSResponse(file.document()); });
    EXPECT_TRUE(message.contains("holds a document type definition, which is not allowed"));
    EXPECT_FALSE(message.contains("TOPSECRET"));
    EXPECT_FALSE(file.document().Active());
}

TEST(XmlDocumentTest, LoadsOnceAndKeepsTheSameRoot)
{
    ReportFile file(reportXml(""));
    EXPECT_FALSE(file.document().Active());
    auto *root = PositionsReport::BindWSResponse(file.document());
    EXPECT_TRUE(file.document().Active());
    // The file is no longer needed once loaded.
    QFile::remove(file.document().FileName());
    EXPECT_EQ(PositionsReport::BindWSResponse(file.document()), root);
    EXPECT_EQ(root->Header()->StatusDate(), "2024-01-31");
}

TEST(XmlDocumentTest, CommentsAndCDataFollowTheSingleTextRule)
{
    const struct
    {
        const char *content;
        const char *text; // nullptr: the read fails
    } cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"  padded  ", "  padded  "},
        {"a &amp; b &lt;c&gt;", "a & b <c>"},
        {"<![CDATA[x <y> & z]]>", "x <y> & z"},
        {"\n   \n", ""}, // white space between tags is no node
        {"<!-- note -->", nullptr},
        {"text<!-- note -->", nullptr},
        {"<!-- note -->text", nullptr},
        {"text<![CDATA[more]]>", nullptr},
        {"<?pi data?>", nullptr},
        {"<i>x</i>", nullptr},
        {"<a1><a2><a3><a4><a5><a6><a7><a8><a9><a10>deep</a10></a9></a8></a7></a6></a5></a4></a3></a2></a1>",
         nullptr},
    };
    for (const auto &c : cases) {
        ReportFile file(reportXml("", QByteArray("<GUID>") + c.content + "</GUID>"));
        auto *header = PositionsReport::BindWSResponse(file.document())->Header();
        if (c.text)
            EXPECT_EQ(header->GUID(), QString::fromUtf8(c.text)) << c.content;
        else
            EXPECT_EQ(messageOf<EXMLDocError>([&] { header->GUID(); }),
                      "Element does not contain a single text node")
                << c.content;
    }
}

TEST(XmlDocumentTest, LineEndsAreNormalised)
{
    ReportFile file(reportXml("", "<GUID>a\r\nb</GUID>"));
    EXPECT_EQ(PositionsReport::BindWSResponse(file.document())->Header()->GUID(), "a\nb");
}

TEST(XmlDocumentTest, TheFileStaysAsItIsAndALoadedDocumentOutlivesChangesToIt)
{
    const QByteArray bytes = reportXml("<MemberAccountPositions><MemberCode>ABC</MemberCode>"
                                       "</MemberAccountPositions>");
    ReportFile file(bytes);
    auto *root = PositionsReport::BindWSResponse(file.document());
    QFile disk(file.document().FileName());
    ASSERT_TRUE(disk.open(QIODevice::ReadOnly));
    // The parser writes into its text, never into the file.
    EXPECT_EQ(disk.readAll(), bytes);
    disk.close();
    // Cut short and overwritten by another program after loading: the document reads on.
    ASSERT_TRUE(disk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    disk.write("<x/>");
    disk.close();
    EXPECT_EQ(root->Body()->MemberAccountPositions()->MemberCode(), "ABC");
    EXPECT_EQ(root->Header()->StatusDate(), "2024-01-31");
}

TEST(XmlDocumentTest, AnEmptyFileIsNoReport)
{
    EXPECT_FALSE(loadFailure("").isEmpty());
}

// Reports are checked in pieces of some megabytes while they are parsed: a fault far into a
// large file is found and placed, and a construct larger than a piece is read whole.
TEST(XmlDocumentTest, LargeReportsAreCheckedToTheirEnd)
{
    QByteArray positions;
    for (int i = 0; i < 100000; ++i)
        positions += "<MemberAccountPosition><AccountNumber>" + QByteArray::number(i) +
                     "</AccountNumber><IsinCode>SI0031102120</IsinCode></MemberAccountPosition>\n";
    const QByteArray valid =
        reportXml("<MemberAccountPositions>" + positions + "<!--" +
                  QByteArray(9 << 20, '-').replace("--", "- ") + "--></MemberAccountPositions>");
    ReportFile good(valid);
    EXPECT_EQ(PositionsReport::BindWSResponse(good.document())
                  ->Body()
                  ->MemberAccountPositions()
                  ->MemberAccountPosition()
                  ->Count(),
              100000);

    QByteArray faulty = valid;
    const qsizetype fault = faulty.lastIndexOf("SI0031102120");
    faulty.replace(fault, 2, "&nbsp;");
    const qsizetype lineStart = faulty.lastIndexOf('\n', fault) + 1;
    const QString message = loadFailure(faulty);
    EXPECT_TRUE(
        message.endsWith(QStringLiteral("Reference to an undeclared entity: '&nbsp;' (line %1, column %2)")
                             .arg(faulty.left(fault).count('\n') + 1)
                             .arg(fault - lineStart + 1)))
        << message.toStdString();
}

#include "common/Exception.h"
#include "ExceptionMessage.h"
#include "reports/XmlDocument.h"
#include "ReportXml.h"
#include "VornConvertFixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringEncoder>

namespace {

// One converter of each kind, with a valid report it reads, the files an earlier run left in the
// output folder, and what a refused report leaves there.
struct ConverterKind
{
    const char *type;
    const char *input;
    QByteArray report;
    QStringList earlierFiles;
    QStringList filesAfterRefusal; // each of them empty
};

QList<ConverterKind> converterKinds()
{
    const QByteArray account =
        "<MemberAccount><AccountType>C</AccountType><AccountNumber>1000234</AccountNumber>"
        "<AccountHolder><PartyType>PO</PartyType><DisplayName>Čuk &amp; Žagar d.o.o."
        "</DisplayName></AccountHolder><OpenDate>2010-05-04</OpenDate></MemberAccount>";
    const QByteArray transaction =
        "<MemberTransaction><MoveSequence>41</MoveSequence><TransactionType>PR</TransactionType>"
        "<TransactionStatus>CONFIRMED</TransactionStatus><TransactionNumber>5001</TransactionNumber>"
        "<SourceTransactionNumber>123</SourceTransactionNumber>"
        "<TransactionDateTime>2024-01-15T10:20:30</TransactionDateTime>"
        "<TransactionReference>REF-1</TransactionReference><IsinCode>SI0031102120</IsinCode>"
        "<AccountNumber>1234567</AccountNumber><SubaccountNumber>0</SubaccountNumber><Volume>250</Volume>"
        "<TransactionValue>1000.5</TransactionValue></MemberTransaction>";
    const QByteArray allocation =
        "<MemberAllocation><TicketNumber>1</TicketNumber><TradeSide>SELL</TradeSide>"
        "<TradeAccountNumber>2</TradeAccountNumber><IsinCode>SI0031102120</IsinCode><Volume>3</Volume>"
        "<AllocationMemberCode>BKSL</AllocationMemberCode><AllocationAccountNumber>4</"
        "AllocationAccountNumber>"
        "<AllocationActionType>CREATE</AllocationActionType><TradeDateTime>2024-01-15T09:05:03</"
        "TradeDateTime>"
        "<SettlementDate>2024-01-17</SettlementDate><AllocationDateTime>2024-01-15T12:00:00</"
        "AllocationDateTime>"
        "</MemberAllocation>";
    return {
        {"Stanja",
         "MemberAccountPositions.xml",
         reportXml(
             "<MemberAccountPositions><MemberCode>M1</MemberCode><MemberAccountPosition>"
             "<AccountNumber>7</AccountNumber><IsinCode>SI0031102120</IsinCode><TotalVolume>1</TotalVolume>"
             "<AvailableVolume>1</AvailableVolume><FrozenVolume>0</FrozenVolume>"
             "<LastChangeDateTime>2024-01-10</LastChangeDateTime></MemberAccountPosition>"
             "</MemberAccountPositions>"),
         {"stanje.txt"},
         {"stanje.txt"}},
        {"Računi",
         "MemberAccounts.xml",
         reportXml("<MemberAccounts><MemberCode>M1</MemberCode>" + account + "</MemberAccounts>"),
         {"racuni.txt"},
         {"racuni.txt"}},
        {"Transakcije",
         "MemberTransactions.xml",
         reportXml("<MemberTransactions><MemberCode>M1</MemberCode>" + transaction + "</MemberTransactions>",
                   "<FromDate>2024-01-01</FromDate><ToDate>2024-01-31</ToDate>"),
         {"transa.txt", "transa20240101_OWN.txt", "transa20240101_XYZ.txt"},
         {"transa20240101_XYZ.txt"}},
        {"Razporeditve",
         "MemberAllocations.xml",
         reportXml("<MemberAllocations><MemberCode>M1</MemberCode>" + allocation + "</MemberAllocations>"),
         {"razpor.txt", "razpor20240101_OWN.txt", "razpor20240101_XYZ.txt"},
         {"razpor20240101_XYZ.txt"}},
    };
}

const QByteArray memberCode = "<MemberCode>M1</MemberCode>";
const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const QByteArray rootEnd = "</WSResponse>\n";

// A report with the first `from` replaced by `to`.
QByteArray spliced(const QByteArray &report, const QByteArray &from, const QByteArray &to)
{
    const qsizetype at = report.indexOf(from);
    EXPECT_GE(at, 0) << from.toStdString();
    return report.left(at) + to + report.mid(at + from.size());
}

// "line L, column C" of a byte offset in ASCII text.
QString positionOf(const QByteArray &text, qsizetype offset)
{
    const qsizetype lineStart = text.lastIndexOf('\n', offset - 1) + 1;
    return QStringLiteral("line %1, column %2")
        .arg(text.left(offset).count('\n') + 1)
        .arg(offset - lineStart + 1);
}

class MalformedReportsTest : public VornConvertFixture
{
protected:
    void SetUp() override { install("PR,1,1,1\r\n"); }

    void clearOutput() const
    {
        for (const QString &name : output.files())
            QFile::remove(output.filePath(name));
    }

    // The files of the output folder with their bytes.
    QMap<QString, QByteArray> outputFiles() const
    {
        QMap<QString, QByteArray> files;
        for (const QString &name : output.files())
            files.insert(name, output.read(name));
        return files;
    }

    // A conversion of `report` by the converter of `kind` into an emptied output folder: its exit
    // code, its log lines without the two that carry the time, and the files it left.
    struct Conversion
    {
        int exitCode;
        QStringList lines;
        QMap<QString, QByteArray> files;
    };
    Conversion convert(const ConverterKind &kind, const QByteArray &report)
    {
        clearOutput();
        input.write(kind.input, report);
        const ProcessRun run = this->run(login() << "--type" << kind.type);
        QStringList lines = run.lines();
        if (lines.size() >= 2) {
            lines.removeFirst();
            lines.removeLast();
        }
        return {run.exitCode, lines, outputFiles()};
    }
};

TEST_F(MalformedReportsTest, EveryFaultIsRefusedByLoadingAndByEachKindOfConverter)
{
    const struct
    {
        const char *label;
        QByteArray from;
        QByteArray to;
        const char *at;    // where in `to` the fault is named
        const char *fault; // the problem as the message names it
    } faults[] = {
        {"bare ampersand", memberCode, "<MemberCode>M1 & M2</MemberCode>", "& M2", "Unescaped '&'"},
        {"bare less-than", memberCode, "<MemberCode>M1 < M2</MemberCode>", " M2",
         "Could not determine tag type"},
        {"less-than in an attribute", memberCode, "<MemberCode a=\"<\">M1</MemberCode>", "<\">",
         "'<' in an attribute value"},
        {"undeclared entity", memberCode, "<MemberCode>M1&nbsp;</MemberCode>", "&nbsp;",
         "Reference to an undeclared entity: '&nbsp;'"},
        {"reference to NUL", memberCode, "<MemberCode>M1&#0;</MemberCode>", "&#0;",
         "Character reference to a character that XML does not allow: &#0;"},
        {"reference to a control character", memberCode, "<MemberCode>M1&#1;</MemberCode>", "&#1;",
         "Character reference to a character that XML does not allow: &#1;"},
        {"reference to a surrogate", memberCode, "<MemberCode>M1&#xDC00;</MemberCode>", "&#xDC00;",
         "Character reference to a character that XML does not allow: &#xDC00;"},
        {"raw control character", memberCode, "<MemberCode>M1\x01</MemberCode>", "\x01",
         "Character not allowed in XML: U+0001"},
        {"end of CDATA in text", memberCode, "<MemberCode>M1]]></MemberCode>", "]]>", "']]>' in text"},
        {"double hyphen in a comment", memberCode, "<MemberCode>M1</MemberCode><!-- a -- b -->", "-- b",
         "'--' in a comment"},
        {"duplicate attribute", memberCode, "<MemberCode a=\"1\" a=\"2\">M1</MemberCode>", "a=\"2\"",
         "Duplicate attribute 'a'"},
        {"declaration after a comment", declaration, "<!-- first -->" + declaration, "<?xml",
         "XML declaration not at the start of the document"},
        {"declaration after white space", declaration, "\n" + declaration, "<?xml",
         "XML declaration not at the start of the document"},
        {"second document element", rootEnd, rootEnd + "<WSResponse/>\n", "WSResponse/>",
         "More than one document element"},
        {"text after the document element", rootEnd, rootEnd + "trailing\n", "trailing",
         "Text after the document element"},
        {"unbound prefix", memberCode, "<p:MemberCode>M1</p:MemberCode>", "p:MemberCode",
         "Reference to undeclared namespace prefix: 'p'"},
        {"unbound attribute prefix", memberCode, "<MemberCode p:a=\"1\">M1</MemberCode>", "p:a",
         "Reference to undeclared namespace prefix: 'p'"},
        {"mismatched end tag", memberCode, "<MemberCode>M1</MemberCod>", nullptr, nullptr},
        {"unclosed element", rootEnd, "", nullptr, nullptr},
    };
    for (const ConverterKind &kind : converterKinds()) {
        for (const auto &fault : faults) {
            SCOPED_TRACE(std::string(kind.type) + ", " + fault.label);
            const QByteArray report = spliced(kind.report, fault.from, fault.to);

            const QString path = input.write(kind.input, report);
            TXMLDocument document;
            document.setFileName(path);
            const QString message = messageOf<EXMLDocError>([&] { document.LoadFromFile(); });
            EXPECT_FALSE(document.Active());
            EXPECT_TRUE(message.startsWith("Report file \"" + path + "\" is not well-formed XML: "))
                << message.toStdString();
            EXPECT_TRUE(QRegularExpression(R"(\(line \d+, column \d+\)$)").match(message).hasMatch())
                << message.toStdString();
            if (fault.fault) {
                EXPECT_TRUE(message.contains(QString::fromUtf8(fault.fault))) << message.toStdString();
            }
            if (fault.at) {
                const qsizetype offset = report.indexOf(fault.to) + fault.to.indexOf(fault.at);
                EXPECT_TRUE(message.endsWith("(" + positionOf(report, offset) + ")"))
                    << message.toStdString();
            }

            clearOutput();
            for (const QString &name : kind.earlierFiles)
                output.write(name, "an earlier run's records\r\n");
            const ProcessRun run = this->run(login() << "--type" << kind.type);
            EXPECT_EQ(run.exitCode, 2) << run.out.toStdString() << run.err.toStdString();
            EXPECT_TRUE(run.out.contains(message)) << run.out.toStdString();
            EXPECT_FALSE(run.out.contains(" OK\n")) << run.out.toStdString();
            EXPECT_EQ(output.files(), kind.filesAfterRefusal);
            for (const QString &name : kind.filesAfterRefusal) {
                const bool otherMembers = name.contains("XYZ");
                EXPECT_EQ(output.read(name), otherMembers ? "an earlier run's records\r\n" : "")
                    << name.toStdString();
            }
        }
    }
}

TEST_F(MalformedReportsTest, ADocumentTypeDefinitionIsStillRefusedAsSuch)
{
    for (const ConverterKind &kind : converterKinds()) {
        const QByteArray report = spliced(kind.report, declaration, declaration + "<!DOCTYPE WSResponse>");
        const QString path = input.write(kind.input, report);
        TXMLDocument document;
        document.setFileName(path);
        EXPECT_EQ(messageOf<EXMLDocError>([&] { document.LoadFromFile(); }),
                  "Report file \"" + path + "\" holds a document type definition, which is not allowed");
        EXPECT_EQ(convert(kind, report).exitCode, 2) << kind.type;
    }
}

// The same report in a legal but rarer form.
QByteArray prefixed(QByteArray report)
{
    report.replace("xmlns=", "xmlns:v=");
    return QString::fromUtf8(report).replace(QRegularExpression("<(/?)([A-Za-z])"), "<\\1v:\\2").toUtf8();
}

QByteArray reencoded(const QByteArray &report, const char *encoding, const QByteArray &bom = {})
{
    const QByteArray declared =
        spliced(report, declaration, "<?xml version=\"1.0\" encoding=\"" + QByteArray(encoding) + "\"?>");
    QStringEncoder encoder(encoding);
    const QByteArray bytes = encoder(QString::fromUtf8(declared));
    EXPECT_FALSE(encoder.hasError()) << encoding;
    return bom + bytes;
}

TEST_F(MalformedReportsTest, LegalRarerFormsConvertByteForByteAsThePlainReport)
{
    const struct
    {
        const char *label;
        std::function<QByteArray(const QByteArray &)> form;
    } forms[] = {
        {"CDATA section",
         [](const QByteArray &r) {
             return spliced(r, memberCode, "<MemberCode><![CDATA[M1]]></MemberCode>");
         }},
        {"character references",
         [](const QByteArray &r) { return spliced(r, memberCode, "<MemberCode>&#77;&#x31;</MemberCode>"); }},
        {"comments and processing instructions between elements",
         [](const QByteArray &r) {
             return spliced(spliced(r, "<Body>", "<Body><!-- note - one --><?vorn note?>\n"), rootEnd,
                            rootEnd + "<!-- end --><?end?>\n");
         }},
        {"prefixed namespace", prefixed},
        {"default namespace declared again",
         [](const QByteArray &r) {
             return spliced(r, "<Body>",
                            "<Body xmlns=\"urn:si:vorn:WSResponseSchema:Members\" xmlns:o=\"urn:o\">");
         }},
        {"UTF-16", [](const QByteArray &r) { return reencoded(r, "UTF-16LE", "\xFF\xFE"); }},
        {"windows-1250", [](const QByteArray &r) { return reencoded(r, "windows-1250"); }},
    };
    for (const ConverterKind &kind : converterKinds()) {
        const Conversion plain = convert(kind, kind.report);
        EXPECT_NE(plain.exitCode, 2) << kind.type << ": " << plain.lines.join('\n').toStdString();
        EXPECT_FALSE(plain.files.isEmpty()) << kind.type;
        for (const auto &form : forms) {
            SCOPED_TRACE(std::string(kind.type) + ", " + form.label);
            const Conversion rarer = convert(kind, form.form(kind.report));
            EXPECT_EQ(rarer.exitCode, plain.exitCode);
            EXPECT_EQ(rarer.lines, plain.lines);
            EXPECT_EQ(rarer.files, plain.files);
        }
    }
}

} // namespace

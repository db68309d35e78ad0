// The rules every report class follows, shown on the positions report's classes.
#include "common/Exception.h"
#include "ReportFile.h"
#include "reports/PositionsReport.h"
#include "reports/XmlDom.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace PositionsReport;

namespace {

QByteArray positions(const QByteArray &content)
{
    return reportXml("<MemberAccountPositions>" + content + "</MemberAccountPositions>");
}

std::string saved(TXMLDocument &document)
{
    std::ostringstream out;
    document.DocumentElement().print(out, "", pugi::format_raw);
    return out.str();
}

} // namespace

TEST(EnvelopeTest, HeaderFieldsReadAsTextAndMissingOnesAsEmpty)
{
    ReportFile file(reportXml("", "<GUID>g-1</GUID><TimeStamp>2024-01-31T14:30:05</TimeStamp><StatusDate/>"
                                  "<ToDate>2024-01-31</ToDate>"));
    TXMLHeader *header = BindWSResponse(file.document())->Header();
    EXPECT_EQ(header->GUID(), "g-1");
    EXPECT_EQ(header->TimeStamp(), "2024-01-31T14:30:05");
    EXPECT_EQ(header->StatusDate(), "");
    EXPECT_EQ(header->FromDate(), "");
    EXPECT_EQ(header->FromDate(), "");
    EXPECT_EQ(header->ToDate(), "2024-01-31");
}

TEST(EnvelopeTest, ReadsOfMissingElementsLeaveTheDocumentUnchanged)
{
    ReportFile file(
        reportXml("<MemberAccountPositions><MemberAccountPosition/></MemberAccountPositions>", ""));
    const std::string before = saved(file.document());
    auto *root = BindWSResponse(file.document());
    EXPECT_EQ(root->Header()->FromDate(), "");
    EXPECT_EQ(root->Body()->MemberAccountPositions()->MemberAccountPosition()->Items(0)->IBAN(), "");
    EXPECT_THROW(root->Body()->MemberAccountPositions()->MemberAccountPosition()->Items(0)->TotalVolume(),
                 EVariantTypeCastError);
    EXPECT_EQ(saved(file.document()), before);
}

TEST(EnvelopeTest, TheRootMustBeWSResponseOfTheReportNamespace)
{
    const QByteArray header = "<Header><GUID>g</GUID></Header>";
    const struct
    {
        const char *label;
        QByteArray xml;
        bool bound;
    } cases[] = {
        {"default namespace",
         "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\">" + header + "</WSResponse>", true},
        {"prefixed",
         "<r:WSResponse xmlns:r=\"urn:si:vorn:WSResponseSchema:Members\"><r:Header><r:GUID>g</r:GUID>"
         "</r:Header></r:WSResponse>",
         true},
        {"without namespace", "<WSResponse>" + header + "</WSResponse>", false},
        {"other namespace",
         "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Public\">" + header + "</WSResponse>", false},
        {"prefix bound to another namespace",
         "<r:WSResponse xmlns:r=\"urn:other\" xmlns=\"urn:si:vorn:WSResponseSchema:Members\">" + header +
             "</r:WSResponse>",
         false},
        {"other root name",
         "<Response xmlns=\"urn:si:vorn:WSResponseSchema:Members\">" + header + "</Response>", false},
    };
    for (const auto &c : cases) {
        ReportFile file(c.xml);
        if (c.bound)
            EXPECT_EQ(BindWSResponse(file.document())->Header()->GUID(), "g") << c.label;
        else
            EXPECT_EQ(messageOf<EIntfCastError>([&] { BindWSResponse(file.document()); }),
                      "Interface not supported")
                << c.label;
    }
}

TEST(EnvelopeTest, ChildrenMustBeInTheParentsNamespace)
{
    ReportFile file(
        "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\" xmlns:o=\"urn:other\"><Header>"
        "<o:GUID>foreign</o:GUID><GUID xmlns=\"urn:other\">foreign too</GUID>"
        "<x:TimeStamp xmlns:x=\"urn:si:vorn:WSResponseSchema:Members\">same</x:TimeStamp>"
        "</Header></WSResponse>");
    TXMLHeader *header = BindWSResponse(file.document())->Header();
    EXPECT_EQ(header->GUID(), "");
    EXPECT_EQ(header->TimeStamp(), "same");
}

TEST(EnvelopeTest, AnUndeclaredPrefixFails)
{
    // Such a document is not well-formed: loading refuses it before any element is read.
    ReportFile file(reportXml("", "<q:GUID>g</q:GUID>"));
    const QString message = messageOf<EXMLDocError>([&] { BindWSResponse(file.document()); });
    EXPECT_TRUE(message.endsWith("is not well-formed XML: Reference to undeclared namespace prefix: 'q' "
                                 "(line 3, column 12)"))
        << message.toStdString();
}

TEST(EnvelopeTest, TheFirstOfTwoElementsCounts)
{
    ReportFile file(
        reportXml("<MemberAccountPositions><MemberCode>FIRST</MemberCode><MemberCode>SECOND"
                  "</MemberCode></MemberAccountPositions><MemberAccountPositions><MemberCode>OTHER"
                  "</MemberCode></MemberAccountPositions>"));
    EXPECT_EQ(BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberCode(), "FIRST");
}

TEST(EnvelopeTest, NodesAreCreatedOnce)
{
    ReportFile file(positions("<MemberAccountPosition/><MemberAccountPosition/>"));
    auto *root = BindWSResponse(file.document());
    EXPECT_EQ(root->Header(), root->Header());
    EXPECT_EQ(root->Body(), root->Body());
    auto *list = root->Body()->MemberAccountPositions()->MemberAccountPosition();
    EXPECT_EQ(list, root->Body()->MemberAccountPositions()->MemberAccountPosition());
    EXPECT_EQ(list->Items(1), list->Items(1));
    EXPECT_NE(list->Items(0), list->Items(1));
}

TEST(EnvelopeTest, ListItemsAreTheItemElementsInDocumentOrder)
{
    ReportFile file(positions("<MemberCode>KDD</MemberCode>"
                              "<MemberAccountPosition><IsinCode>A</IsinCode></MemberAccountPosition>"
                              "<Other><IsinCode>X</IsinCode></Other><!-- comment -->"
                              "<MemberAccountPosition><IsinCode>B</IsinCode></MemberAccountPosition>"
                              "<MemberAccountPosition xmlns=\"urn:other\"><IsinCode>Y</IsinCode>"
                              "</MemberAccountPosition>"
                              "<MemberAccountPosition><IsinCode>C</IsinCode></MemberAccountPosition>"));
    auto *list = BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberAccountPosition();
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Items(0)->IsinCode(), "A");
    EXPECT_EQ(list->Items(1)->IsinCode(), "B");
    EXPECT_EQ(list->Items(2)->IsinCode(), "C");
    for (int index : {-1, 3})
        EXPECT_EQ(messageOf<EListError>([&] { list->Items(index); }),
                  QStringLiteral("List index out of bounds (%1)").arg(index));
}

TEST(EnvelopeTest, WritesFindOrCreateTheElement)
{
    ReportFile file(positions("<MemberCode>old<!-- c --></MemberCode>"));
    auto *report = BindWSResponse(file.document())->Body()->MemberAccountPositions();
    report->setMemberCode("new & <more>");
    EXPECT_EQ(report->MemberCode(), "new & <more>");
    auto *position = report->MemberAccountPosition()->Add();
    position->setAccountNumber(4294967295u);
    position->setTotalVolume(-5);
    position->setIsinCode(" SI0031102120 ");
    EXPECT_EQ(position->AccountNumber(), 4294967295u);
    EXPECT_EQ(position->TotalVolume(), -5);
    EXPECT_EQ(position->IsinCode(), " SI0031102120 ");
    EXPECT_EQ(
        saved(file.document()),
        "<WSResponse xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header><StatusDate>2024-01-31"
        "</StatusDate></Header><Body><MemberAccountPositions><MemberCode>new &amp; &lt;more&gt;</MemberCode>"
        "<MemberAccountPosition><AccountNumber>4294967295</AccountNumber><TotalVolume>-5</TotalVolume>"
        "<IsinCode> SI0031102120 </IsinCode></MemberAccountPosition></MemberAccountPositions></Body>"
        "</WSResponse>");
}

TEST(EnvelopeTest, AWriteCreatesMissingAncestorsWithTheParentsPrefix)
{
    ReportFile file(
        "<p:WSResponse xmlns:p=\"urn:si:vorn:WSResponseSchema:Members\"><p:Header/></p:WSResponse>");
    auto *root = BindWSResponse(file.document());
    auto *report = root->Body()->MemberAccountPositions();
    EXPECT_EQ(report->MemberCode(), "");
    EXPECT_EQ(report->MemberAccountPosition()->Count(), 0);
    report->MemberAccountPosition()->Add()->setIsinCode("SI1");
    report->setMemberCode("KDD");
    EXPECT_EQ(saved(file.document()),
              "<p:WSResponse xmlns:p=\"urn:si:vorn:WSResponseSchema:Members\"><p:Header/><p:Body>"
              "<p:MemberAccountPositions><p:MemberAccountPosition><p:IsinCode>SI1</p:IsinCode>"
              "</p:MemberAccountPosition><p:MemberCode>KDD</p:MemberCode></p:MemberAccountPositions></p:Body>"
              "</p:WSResponse>");
    // What was written reads back through fresh objects.
    EXPECT_EQ(report->MemberAccountPosition()->Items(0)->IsinCode(), "SI1");
    EXPECT_EQ(report->MemberCode(), "KDD");
}

TEST(EnvelopeTest, InsertPutsTheItemAtItsIndex)
{
    ReportFile file(
        positions("<MemberAccountPosition><IsinCode>A</IsinCode></MemberAccountPosition>"
                  "<MemberAccountPosition><IsinCode>C</IsinCode></MemberAccountPosition><Trailer/>"));
    auto *list = BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberAccountPosition();
    auto *c = list->Items(1);
    list->Insert(1)->setIsinCode("B");
    list->Add()->setIsinCode("D");
    list->Insert(0)->setIsinCode("0");
    ASSERT_EQ(list->Count(), 5);
    EXPECT_EQ(list->Items(3), c);
    QStringList isins;
    for (int i = 0; i < list->Count(); ++i)
        isins << list->Items(i)->IsinCode();
    EXPECT_EQ(isins.join(','), "0,A,B,C,D");
    // The new last item follows the last one, before the other element.
    EXPECT_STREQ(list->Items(4)->element().next_sibling().name(), "Trailer");
    EXPECT_THROW(list->Insert(6), EListError);
}

TEST(EnvelopeTest, PropertiesReadAlikeInAnyOrder)
{
    const QByteArray xml =
        positions("<MemberAccountPosition><AccountNumber>1</AccountNumber><IBAN>SI56</IBAN>"
                  "<?IsinCode not this?><IsinCode>SI1</IsinCode><TotalVolume>5</TotalVolume>"
                  "</MemberAccountPosition>"
                  "<MemberAccountPosition><TotalVolume>6</TotalVolume><IsinCode>SI2</IsinCode>"
                  "<IBAN>SI57</IBAN><AccountNumber>2</AccountNumber><IsinCode>late</IsinCode>"
                  "</MemberAccountPosition>"
                  "<MemberAccountPosition><AccountNumber>3</AccountNumber><IBAN>SI58</IBAN>"
                  "<IsinCode>SI3</IsinCode><TotalVolume>7</TotalVolume></MemberAccountPosition>"
                  "<MemberAccountPosition><AccountNumber>4</AccountNumber><IBAN>SI59</IBAN>"
                  "<AccountNumber>99</AccountNumber><IsinCode>SI4</IsinCode>"
                  "<TotalVolume>8</TotalVolume></MemberAccountPosition>"
                  "<MemberAccountPosition><AccountNumber>5</AccountNumber><!-- c --><IBAN>SI60</IBAN>"
                  "<IsinCode>SI5</IsinCode><TotalVolume>9</TotalVolume></MemberAccountPosition>");
    // A processing instruction among the children, a name repeated later or right after the
    // ones read, the plain schema order, and a comment between the elements. Orders that skip
    // elements and come back to them read as the schema order does.
    const auto describe = [](TXMLMemberAccountPosition *p, const QList<int> &order) {
        QStringList parts(4);
        for (int field : order) {
            switch (field) {
            case 0:
                parts[0] = QString::number(p->AccountNumber());
                break;
            case 1:
                parts[1] = p->IBAN();
                break;
            case 2:
                parts[2] = p->IsinCode();
                break;
            case 3:
                parts[3] = QString::number(p->TotalVolume());
                break;
            }
        }
        return parts.join(',');
    };
    const QList<QList<int>> orders = {{0, 1, 2, 3},    {3, 2, 1, 0}, {2, 0, 3, 1}, {1, 1, 3, 3, 0, 2},
                                      {0, 1, 0, 2, 3}, {0, 2, 1, 3}, {0, 3, 1, 2}};
    for (const QList<int> &order : orders) {
        // A fresh document for each order: the first reads of a node decide how it looks up.
        ReportFile file(xml);
        auto *list =
            BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberAccountPosition();
        EXPECT_EQ(describe(list->Items(0), order), "1,SI56,SI1,5");
        EXPECT_EQ(describe(list->Items(1), order), "2,SI57,SI2,6");
        EXPECT_EQ(describe(list->Items(2), order), "3,SI58,SI3,7");
        EXPECT_EQ(describe(list->Items(3), order), "4,SI59,SI4,8");
        EXPECT_EQ(describe(list->Items(4), order), "5,SI60,SI5,9");
    }
}

TEST(EnvelopeTest, ItemsReadByTurnsAndWrittenBetweenReadsFindTheirOwnElements)
{
    ReportFile file(
        positions("<MemberAccountPosition><AccountNumber>1</AccountNumber>"
                  "<o:IsinCode xmlns:o=\"urn:other\">OTHER</o:IsinCode><IsinCode>SI1</IsinCode>"
                  "<TotalVolume>5</TotalVolume></MemberAccountPosition>"
                  "<MemberAccountPosition><AccountNumber>2</AccountNumber><IBAN>SI57</IBAN>"
                  "<IsinCode>SI2</IsinCode><TotalVolume>6</TotalVolume></MemberAccountPosition>"));
    auto *list = BindWSResponse(file.document())->Body()->MemberAccountPositions()->MemberAccountPosition();
    TXMLMemberAccountPosition *first = list->Items(0);
    TXMLMemberAccountPosition *second = list->Items(1);
    // The last element first, so that each later read looks at all children of its item.
    EXPECT_EQ(first->TotalVolume(), 5);
    EXPECT_EQ(second->TotalVolume(), 6);
    EXPECT_EQ(first->IsinCode(), "SI1");
    EXPECT_EQ(second->IsinCode(), "SI2");
    EXPECT_EQ(first->IBAN(), "");
    EXPECT_EQ(second->IBAN(), "SI57");
    first->setIBAN("SI56");
    second->setIsinCode("SI9");
    EXPECT_EQ(first->IBAN(), "SI56");
    EXPECT_EQ(first->AccountNumber(), 1u);
    EXPECT_EQ(second->IsinCode(), "SI9");
    EXPECT_EQ(second->AccountNumber(), 2u);
    EXPECT_EQ(first->IsinCode(), "SI1");
}

TEST(EnvelopeTest, NameBitsOfQualifiedNamesAreThoseOfTheirLocalNames)
{
    for (const char *name : {"Header", "p:Header", "a:b:c", "", ":x", "x:", "MemberTransaction"})
        EXPECT_EQ(TXMLName::bitsOfLocalName(name), TXMLName::bitsOf(XmlDom::localName(name))) << name;
}

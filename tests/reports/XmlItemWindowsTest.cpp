#include "reports/XmlItemWindows.h"

#include "ReportFile.h"
#include "reports/TransactionsReport.h"

#include <gtest/gtest.h>
#include <QStringEncoder>

namespace {

// What the report classes read: per window the header's date and the member code, and the
// transactions (by their type) of all windows in turn.
struct Reading
{
    QStringList windows;
    QStringList items;
};

Reading readInWindows(TXMLDocument &document, qint64 windowBytes)
{
    Reading reading;
    TXMLItemWindows("MemberTransaction", 4, windowBytes).read(document, [&](TXMLDocument &window) {
        auto *root = TransactionsReport::BindWSResponse(window);
        auto *list = root->Body()->MemberTransactions();
        reading.windows << root->Header()->ToDate() + u'|' + list->MemberCode();
        for (int i = 0; i < list->MemberTransaction()->Count(); ++i)
            reading.items << list->MemberTransaction()->Items(i)->TransactionType();
    });
    return reading;
}

QByteArray item(const QByteArray &type)
{
    return "<MemberTransaction><TransactionType>" + type + "</TransactionType></MemberTransaction>";
}

QByteArray report(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<WSResponse "
           "xmlns=\"urn:si:vorn:WSResponseSchema:Members\"><Header><ToDate>2024-01-31"
           "</ToDate></Header><Body>" +
           body + "</Body></WSResponse>\n";
}

} // namespace

// Windows of one item each, against the whole report read at once.
TEST(XmlItemWindowsTest, WindowsReadWhatTheWholeReportHolds)
{
    const QByteArray items = item("A") + "\n  " + item("B") + item("C");
    const struct
    {
        const char *name;
        QByteArray text;
        int windows;
    } cases[] = {
        {"member code first",
         report("<MemberTransactions><MemberCode>M</MemberCode>" + items + "</MemberTransactions>"), 3},
        {"member code after the items",
         report("<MemberTransactions>" + items + "<MemberCode>M</MemberCode></MemberTransactions>"), 3},
        {"markup between and inside the items",
         report(
             "<MemberTransactions><MemberCode>M</MemberCode>" + item("A") +
             "<!-- <MemberTransaction> --><?pi <MemberTransaction>?>text" +
             "<MemberTransaction a='&gt;'><TransactionType><![CDATA[</MemberTransaction>]]></TransactionType>"
             "</MemberTransaction><MemberTransaction/>" +
             item("&amp;") + "</MemberTransactions>"),
         4},
        {"prefixes declared on the way",
         "<p:WSResponse "
         "xmlns:p='urn:si:vorn:WSResponseSchema:Members'><p:Header><p:ToDate>D</p:ToDate></p:Header><p:Body "
         "xmlns:q='urn:si:vorn:WSResponseSchema:Members'><q:MemberTransactions><q:MemberCode>M</"
         "q:MemberCode><q:MemberTransaction>"
         "<q:TransactionType>A</q:TransactionType></"
         "q:MemberTransaction><p:MemberTransaction><p:TransactionType>B"
         "</p:TransactionType></p:MemberTransaction></q:MemberTransactions></p:Body></p:WSResponse>",
         2},
        {"an item of another namespace among them",
         report(
             "<MemberTransactions>" + item("A") +
             "<MemberTransaction xmlns='urn:other'><TransactionType>X</TransactionType></MemberTransaction>" +
             item("B") + "</MemberTransactions>"),
         3},
        {"another element between the items",
         report("<MemberTransactions>" + item("A") + "<MemberCode>M</MemberCode>" + item("B") +
                "</MemberTransactions>"),
         1},
        {"items under two parents",
         report("<MemberTransactions>" + item("A") + "</MemberTransactions><MemberTransactions>" + item("B") +
                "</MemberTransactions>"),
         1},
        {"a long text around the items",
         report("<MemberTransactions><!--" + QByteArray(TXMLItemWindows::kMaxTextAroundItems, ' ') + "-->" +
                items + "</MemberTransactions>"),
         1},
        {"no items", report("<MemberTransactions><MemberCode>M</MemberCode></MemberTransactions>"), 1},
        {"stored as UTF-16",
         QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(
             QString::fromUtf8(report("<MemberTransactions>" + items + "</MemberTransactions>"))),
         1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ReportFile file(c.text);
        const Reading whole = readInWindows(file.document(), 1 << 20);
        ASSERT_EQ(whole.windows.size(), 1);
        const Reading windows = readInWindows(file.document(), 1);
        EXPECT_EQ(windows.items, whole.items);
        EXPECT_EQ(windows.windows, QStringList(c.windows, whole.windows.value(0)));
    }
}

// A report that is not well-formed fails before its first window, with the message of a load; one
// cut short after its first window fails as changed.
TEST(XmlItemWindowsTest, AFailureComesBeforeTheWindowsItConcerns)
{
    const QByteArray items = "<MemberTransactions>" + item("A") + item("B") + "</MemberTransactions>";
    for (const bool cutShort : {false, true}) {
        ReportFile file(report(items) + (cutShort ? "" : "&"));
        const QString path = file.document().FileName();
        const QString expected =
            cutShort ? "Report file \"" + path + "\" changed while it was read; convert it again"
                     : messageOf<EXMLDocError>([&] { file.document().LoadFromFile(); });
        int windows = 0;
        EXPECT_EQ(messageOf<EXMLDocError>([&] {
                      TXMLItemWindows("MemberTransaction", 4, 1).read(file.document(), [&](TXMLDocument &) {
                          if (++windows == 1)
                              QFile::resize(path, 200);
                      });
                  }),
                  expected);
        EXPECT_EQ(windows, cutShort ? 1 : 0);
    }
}

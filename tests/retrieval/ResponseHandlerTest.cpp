#include "retrieval/ResponseHandler.h"

#include "ArchiveBytes.h"
#include "RecordingMessenger.h"
#include "retrieval/AnswerCause.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Records what the handling asks of the window.
class RecordingRecipient : public ResponseRecipient
{
public:
    bool debug = false;
    QString appended;
    QStringList errorPages;
    int logPageShown = 0;
    QStringList imported;
    QStringList workbooks;

    bool debugging() const override { return debug; }
    void appendToLog(const QString &text) override { appended += text; }
    void showErrorPage(const QString &html) override { errorPages << html; }
    void showLogPage() override { ++logPageShown; }
    void importReport(const QString &name) override { imported << name; }
    void exportWorkbook(const QString &name) override { workbooks << name; }
};

const QByteArray Xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<WSResponse/>\n";

QStringList headersAnnouncing(const QString &fileName)
{
    return {"HTTP/1.1 200 OK", "Content-Type: application/octet-stream",
            "Content-Disposition: attachment; filename=\"" + fileName + "\""};
}

class ResponseHandlerTest : public testing::Test
{
protected:
    ResponseHandlerTest() { QDir().mkpath(input()); }

    QString input() const { return root.filePath("in"); }

    // One answer as the client reports it, the body in pieces of at most pieceSize bytes.
    void answer(const QStringList &headers, const QByteArray &body, qsizetype pieceSize = 7)
    {
        handler.setInputFolder(input());
        handler.ReceivingHeaders(headers);
        handler.DocumentBegin();
        for (qsizetype at = 0; at < body.size(); at += pieceSize)
            handler.Data(body.constData() + at, qMin(pieceSize, body.size() - at));
        handler.DocumentEnd();
    }

    QStringList inputFiles() const { return QDir(input()).entryList(QDir::Files | QDir::Hidden); }
    QStringList rootEntries() const
    {
        return QDir(root.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    TempDir root;
    RecordingRecipient recipient;
    RecordingMessenger messenger;
    ResponseHandler handler{recipient, messenger};
};

} // namespace

TEST(AnnouncedFileName, TakesTheQuotedNameAfterTheExactMarker)
{
    struct Case
    {
        QStringList headers;
        QString name;
    };
    const Case cases[] = {
        {{"Content-Disposition: attachment; filename=\"MemberAccounts.zip\""}, "MemberAccounts.zip"},
        {{"Content-Disposition: attachment; filename=MemberAccounts.zip"}, ""},
        {{"Content-Disposition: attachment; FileName=\"MemberAccounts.zip\""}, ""},
        {{"Content-Disposition: attachment; filename=\"MemberAccounts.zip"}, ""},
        {{"X-A: filename=\"first.zip\"", "X-B: filename=\"second.zip\""}, "first.zip"},
        {{"Content-Disposition: attachment; filename=\"\""}, ""},
        {{"HTTP/1.1 200 OK"}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AnnouncedFileName(c.headers), c.name) << c.headers.join('|').toStdString();
}

TEST(HandOffFor, ChoosesByTheExactReceivedName)
{
    const std::pair<const char *, HandOff> cases[] = {
        {"DailyBondValues.zip", HandOff::Workbook},
        {"DailyBondValues.xml", HandOff::Workbook},
        {"dailybondvalues.zip", HandOff::Import},
        {"PublicSharebookTop50All.zip", HandOff::StoredOnly},
        {"PublicSharebookTop50All.xml", HandOff::StoredOnly},
        {"MemberOffMarketTransactionsAll.zip", HandOff::StoredOnly},
        {"MemberOffMarketTransactionsAll.xml", HandOff::StoredOnly},
        {"MemberCurrentAccounts4BTS.zip", HandOff::StoredOnly},
        {"MemberCurrentAccounts4BTS.xml", HandOff::StoredOnly},
        {"SharebookTXT.zip", HandOff::StoredOnly},
        {"SharebookTXT.xml", HandOff::Import},
        {"Anything_CRVP.txt", HandOff::StoredOnly},
        {"Anything_CRVP.TXT", HandOff::Import},
        {"MemberAccountPositions.zip", HandOff::Import},
    };
    for (const auto &[name, handOff] : cases)
        EXPECT_EQ(HandOffFor(name), handOff) << name;
}

TEST_F(ResponseHandlerTest, ArchiveIsStoredAndHandedOnWithTheDebugLinesInOrder)
{
    messenger.debugEnabled = true;
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray text = "no declaration\r\n<?xml in the middle";
    answer(headersAnnouncing("MemberAccounts.zip"),
           ArchiveBytes::zip({ArchiveBytes::deflated("MemberAccounts.xml", bom + Xml),
                              ArchiveBytes::deflated("Other.xml", "plain text, no declaration"),
                              ArchiveBytes::deflated("List_CRVP.txt", text)}));

    EXPECT_EQ(root.read("in/MemberAccounts.xml"), Xml);
    EXPECT_EQ(root.read("in/Other.xml"), "plain text, no declaration");
    EXPECT_EQ(root.read("in/List_CRVP.txt"), text);
    EXPECT_EQ(inputFiles(), (QStringList{"List_CRVP.txt", "MemberAccounts.xml", "Other.xml"}));
    EXPECT_EQ(recipient.imported, QStringList{"MemberAccounts.zip"});
    EXPECT_TRUE(recipient.errorPages.isEmpty());
    EXPECT_EQ(recipient.logPageShown, 1);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join('\n').toStdString();
    const QStringList expected{"--- header begin ---",
                               "HTTP/1.1 200 OK",
                               "Content-Type: application/octet-stream",
                               "Content-Disposition: attachment; filename=\"MemberAccounts.zip\"",
                               "--- header end ---",
                               "",
                               "--- document begin ---",
                               "--- document end ---",
                               "",
                               "",
                               "--- zip catalog start ---",
                               "MemberAccounts.xml",
                               "Other.xml",
                               "List_CRVP.txt",
                               "--- zip catalog end ---",
                               "",
                               "--- zip content start ---"};
    EXPECT_EQ(messenger.lines, expected);
}

TEST_F(ResponseHandlerTest, BodyIsKeptByteForByteAndClearedByTheNextDocument)
{
    QByteArray binary;
    for (int i = 0; i < 1000; ++i)
        binary += char(i * 7);
    answer(headersAnnouncing("x.zip"), binary, 13);
    EXPECT_EQ(handler.ReceivedBody(), binary);
    EXPECT_EQ(handler.ReceivedFileName(), "x.zip");
    EXPECT_TRUE(inputFiles().isEmpty()); // no archive: nothing stored, shown or reported
    EXPECT_TRUE(recipient.errorPages.isEmpty());
    EXPECT_TRUE(recipient.imported.isEmpty());
    EXPECT_TRUE(messenger.messages.isEmpty());

    answer({"HTTP/1.1 200 OK"}, "second");
    EXPECT_EQ(handler.ReceivedBody(), "second");
    EXPECT_EQ(handler.ReceivedFileName(), "");
}

TEST_F(ResponseHandlerTest, AnswerWithoutFileNameIsShownAsErrorPage)
{
    const QByteArray page = "<html><body>Napaka \xC5\xA1</body></html>";
    answer({"HTTP/1.1 404 Not Found", "Content-Type: text/html"}, page);
    EXPECT_EQ(recipient.errorPages, QStringList{QString::fromUtf8(page)});
    EXPECT_EQ(recipient.logPageShown, 0);
    EXPECT_TRUE(inputFiles().isEmpty());
    EXPECT_TRUE(recipient.imported.isEmpty());
}

TEST_F(ResponseHandlerTest, EmptyBodyDoesNothing)
{
    answer(headersAnnouncing("MemberAccounts.zip"), {});
    answer({"HTTP/1.1 200 OK"}, {});
    EXPECT_TRUE(recipient.errorPages.isEmpty());
    EXPECT_EQ(recipient.logPageShown, 0);
    EXPECT_TRUE(inputFiles().isEmpty());
}

TEST_F(ResponseHandlerTest, HandOffFollowsTheReceivedName)
{
    const QByteArray archive = ArchiveBytes::zip({ArchiveBytes::deflated("Report.xml", Xml)});
    answer(headersAnnouncing("DailyBondValues.zip"), archive);
    answer(headersAnnouncing("SharebookTXT.zip"), archive);
    answer(headersAnnouncing("SharebookTXT.xml"), archive);
    EXPECT_EQ(recipient.workbooks, QStringList{"DailyBondValues.zip"});
    EXPECT_EQ(recipient.imported, QStringList{"SharebookTXT.xml"});
}

TEST_F(ResponseHandlerTest, ReadOnlyStoredFileIsOverwritten)
{
    const QString stored = root.write("in/MemberAccounts.xml", "old");
    ASSERT_TRUE(QFile::setPermissions(stored, QFile::ReadOwner | QFile::ReadGroup));
    answer(headersAnnouncing("MemberAccounts.zip"),
           ArchiveBytes::zip({ArchiveBytes::deflated("MemberAccounts.xml", Xml)}));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.messages.join('\n').toStdString();
    EXPECT_EQ(root.read("in/MemberAccounts.xml"), Xml);
    EXPECT_EQ(recipient.imported, QStringList{"MemberAccounts.zip"});
}

TEST_F(ResponseHandlerTest, HostileNamesAreRefusedWithNothingWritten)
{
    struct Case
    {
        QString announced;
        QByteArray entry;
        QString refused; // the name the message quotes
    };
    const Case cases[] = {
        {"r.zip", "../evil.xml", "../evil.xml"},
        {"r.zip", "sub/../../evil.xml", "sub/../../evil.xml"},
        {"r.zip", "/tmp/evil.xml", "/tmp/evil.xml"},
        {"r.zip", "..\\evil.xml", "..\\evil.xml"},
        {"r.zip", "C:evil.xml", "C:evil.xml"},
        {"../r.zip", "good.xml", "../r.zip"},
        {"sub/r.zip", "good.xml", "sub/r.zip"},
        {"sub\\r.zip", "good.xml", "sub\\r.zip"},
        {"..", "good.xml", ".."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.refused.toStdString());
        messenger.messages.clear();
        // A good entry before the hostile one is not written either.
        answer(headersAnnouncing(c.announced), ArchiveBytes::zip({ArchiveBytes::deflated("first.xml", Xml),
                                                                  ArchiveBytes::deflated(c.entry, Xml)}));
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_TRUE(
            messenger.messages[0].startsWith(QString::fromUtf8("Napaka: EUnsafeFileName, sporočilo: ")))
            << messenger.messages[0].toStdString();
        EXPECT_TRUE(messenger.messages[0].contains("\"" + c.refused + "\""));
        EXPECT_TRUE(messenger.messages[0].endsWith(" (" + input() + "/" + c.refused + ")"));
        EXPECT_TRUE(inputFiles().isEmpty());
        EXPECT_EQ(rootEntries(), QStringList{"in"});
        EXPECT_TRUE(recipient.imported.isEmpty());
    }
}

TEST_F(ResponseHandlerTest, FailedEntryNamesItsTargetAndLeavesTheStoredFileWhole)
{
    root.write("in/B.xml", "old report");
    ArchiveBytes::Entry damaged = ArchiveBytes::deflated("B.xml", Xml);
    damaged.crc ^= 1;
    answer(headersAnnouncing("r.zip"), ArchiveBytes::zip({ArchiveBytes::deflated("A.xml", Xml), damaged,
                                                          ArchiveBytes::deflated("C.xml", Xml)}));
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith(QString::fromUtf8("Napaka: EZipFileCRCError, sporočilo: ")))
        << messenger.messages[0].toStdString();
    EXPECT_TRUE(messenger.messages[0].endsWith(" (" + input() + "/B.xml)"));
    EXPECT_EQ(root.read("in/B.xml"), "old report");
    EXPECT_EQ(inputFiles(), (QStringList{"A.xml", "B.xml"})); // no temporary file left, C not written
    EXPECT_TRUE(recipient.imported.isEmpty());
}

TEST_F(ResponseHandlerTest, MissingInputFolderIsAWriteFailureNamingTheTarget)
{
    QDir(input()).removeRecursively();
    answer(headersAnnouncing("r.zip"), ArchiveBytes::zip({ArchiveBytes::deflated("A.xml", Xml)}));
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.messages[0].startsWith(QString::fromUtf8("Napaka: EFCreateError, sporočilo: ")));
    EXPECT_TRUE(messenger.messages[0].endsWith(" (" + input() + "/A.xml)"))
        << messenger.messages[0].toStdString();
}

TEST_F(ResponseHandlerTest, BodyPastTheLimitEndsTheAnswer)
{
    ResponseHandler limited(recipient, messenger, 100);
    limited.ReceivingHeaders({"HTTP/1.1 200 OK"});
    limited.DocumentBegin();
    const QByteArray piece(60, 'x');
    limited.Data(piece.constData(), piece.size());
    EXPECT_THROW(limited.Data(piece.constData(), piece.size()), EAnswerTooLarge);
    EXPECT_EQ(limited.ReceivedBody().size(), 60);

    limited.ReceivingHeaders({"HTTP/1.1 200 OK", "Content-Length: 101"});
    EXPECT_THROW(limited.DocumentBegin(), EAnswerTooLarge);
    limited.ReceivingHeaders({"HTTP/1.1 200 OK", "content-length: 100"});
    EXPECT_NO_THROW(limited.DocumentBegin());
    const QByteArray whole(100, 'y');
    EXPECT_NO_THROW(limited.Data(whole.constData(), whole.size()));
}

TEST_F(ResponseHandlerTest, DebugLogShowsTheFirst64KiBOfEachAnswer)
{
    QByteArray body;
    for (int i = 0; body.size() < 200 * 1024; ++i)
        body += "line " + QByteArray::number(i) + "\n";
    recipient.debug = true;
    messenger.debugEnabled = true;
    answer({"HTTP/1.1 200 OK"}, body, 5000);
    EXPECT_EQ(recipient.appended, QString::fromLatin1(body.left(64 * 1024)));
    EXPECT_TRUE(messenger.lines.contains(
        QStringLiteral("(%1 further bytes of the answer are not shown)").arg(body.size() - 64 * 1024)));

    recipient.appended.clear();
    answer({"HTTP/1.1 200 OK"}, "short answer");
    EXPECT_EQ(recipient.appended, "short answer"); // the limit holds per answer

    recipient.debug = false;
    recipient.appended.clear();
    answer({"HTTP/1.1 200 OK"}, body);
    EXPECT_TRUE(recipient.appended.isEmpty());
}

// A hostile or broken archive past a limit is refused with a message naming the limit, nothing stored.
TEST_F(ResponseHandlerTest, ArchivesPastTheLimitsAreRefusedWithNothingStored)
{
    ArchiveBytes::Entry bomb = ArchiveBytes::deflated("Bomb.xml", QByteArray(1000, '\0'));
    bomb.uncompressedSize = 0xFFFFFFFF; // claims 4 GiB of zero bytes
    QList<ArchiveBytes::Entry> many;
    for (int i = 0; i < 101; ++i)
        many << ArchiveBytes::deflated("R" + QByteArray::number(i) + ".xml", Xml);
    const struct
    {
        const char *name;
        AnswerLimits limits;
        QList<ArchiveBytes::Entry> entries;
        QString message;
    } cases[] = {
        {"zip bomb",
         {},
         {ArchiveBytes::deflated("A.xml", Xml), bomb},
         "\"Bomb.xml\" would inflate to 4294967295 bytes, more than the limit of 2147483648 bytes "
         "(MaksVelikostDatotekeMB"},
        {"entry past a low limit",
         {10, 100, 1024},
         {ArchiveBytes::deflated("A.xml", "eleven byte")},
         "\"A.xml\" would inflate to 11 bytes, more than the limit of 10 bytes"},
        {"many entries",
         {},
         many,
         "The archive holds 101 entries, more than the limit of 100 (MaksSteviloDatotek"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        messenger.messages.clear();
        handler.setLimits(c.limits);
        answer(headersAnnouncing("r.zip"), ArchiveBytes::zip(c.entries), 64 * 1024);
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_TRUE(
            messenger.messages[0].startsWith(QString::fromUtf8("Napaka: EArchiveLimit, sporočilo: ")));
        EXPECT_TRUE(messenger.messages[0].contains(c.message)) << messenger.messages[0].toStdString();
        EXPECT_TRUE(inputFiles().isEmpty());
        EXPECT_TRUE(recipient.imported.isEmpty());
    }
}

TEST_F(ResponseHandlerTest, ErrorPagePastItsLimitEndsTheFetchUnshown)
{
    ResponseHandler limited(recipient, messenger);
    limited.setLimits({qint64(1) << 31, 100, 1000});
    const QByteArray piece(600, 'x');
    limited.ReceivingHeaders({"HTTP/1.1 500 Error"});
    limited.DocumentBegin();
    limited.Data(piece.constData(), piece.size());
    EXPECT_THROW(limited.Data(piece.constData(), piece.size()), EAnswerTooLarge);
    limited.ReceivingHeaders({"HTTP/1.1 500 Error", "Content-Length: 1001"});
    EXPECT_THROW(limited.DocumentBegin(), EAnswerTooLarge);
    // An archive is not held to the error page's limit.
    limited.ReceivingHeaders(headersAnnouncing("r.zip") << "Content-Length: 1001");
    EXPECT_NO_THROW(limited.DocumentBegin());
    EXPECT_TRUE(recipient.errorPages.isEmpty());
}

// The report replaces a link (or a dangling one) at its name; nothing outside the folder changes.
TEST_F(ResponseHandlerTest, LinkAtAReportsNameIsReplacedNeverFollowed)
{
    const QString victim = root.write("victim.txt", "victim");
    for (const QString &target : {victim, root.filePath("outside.txt")}) {
        QFile::remove(input() + "/A.xml");
        ASSERT_TRUE(QFile::link(target, input() + "/A.xml"));
        answer(headersAnnouncing("A.zip"), ArchiveBytes::zip({ArchiveBytes::deflated("A.xml", Xml)}));
        EXPECT_FALSE(QFileInfo(input() + "/A.xml").isSymLink());
        EXPECT_EQ(root.read("in/A.xml"), Xml);
    }
    EXPECT_EQ(root.read("victim.txt"), "victim");
    EXPECT_EQ(rootEntries(), (QStringList{"in", "victim.txt"}));
}

// Control characters of an answer's names are shown escaped, in the message and the debug log.
TEST_F(ResponseHandlerTest, NamesWithControlCharactersAreShownEscaped)
{
    messenger.debugEnabled = true;
    answer(headersAnnouncing("r\x1b]0;x\x07.zip"), ArchiveBytes::zip({ArchiveBytes::deflated("A.xml", Xml)}));
    answer(headersAnnouncing("r.zip"), ArchiveBytes::zip({ArchiveBytes::deflated("a\x1b[2J\r\nb.xml", Xml)}));
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_TRUE(messenger.messages[0].contains("\"r\\e]0;x\\x07.zip\""))
        << messenger.messages[0].toStdString();
    EXPECT_TRUE(messenger.messages[1].contains("\"a\\e[2J\\r\\nb.xml\""))
        << messenger.messages[1].toStdString();
    EXPECT_TRUE(messenger.lines.contains("a\\e[2J\\r\\nb.xml"));
    EXPECT_FALSE(messenger.lines.join(' ').contains(QChar(0x1b)));
    EXPECT_TRUE(inputFiles().isEmpty());
}

TEST(AnswerCause, StatusAndPageTextOnOneLine)
{
    const std::pair<QByteArray, QString> pages[] = {
        {"<html><head><title>T</title><style>p{}</style></head><body><h1>Bad</h1>\n<p>Cert &amp; key "
         "expired</p><script>x()</script></body></html>",
         "Bad Cert & key expired"},
        {"plain   text\r\n", "plain text"},
        {QByteArray(400, 'x'), QString(297, u'x') + "..."},
    };
    for (const auto &[html, text] : pages)
        EXPECT_EQ(ErrorPageText(html), text);
    EXPECT_EQ(HttpStatusOf({"HTTP/1.1 400 Bad Request", "Server: x"}), 400);
    EXPECT_EQ(HttpStatusOf({"Server: x"}), 0);
}

// An archive in the debug log: its size and first bytes, not its raw bytes.
TEST_F(ResponseHandlerTest, ArchiveInTheDebugLogShowsItsSizeAndFirstBytes)
{
    recipient.debug = true;
    messenger.debugEnabled = true;
    const QByteArray archive = ArchiveBytes::zip({ArchiveBytes::deflated("Report.xml", Xml)});
    answer(headersAnnouncing("MemberAccounts.zip"), archive);
    EXPECT_TRUE(recipient.appended.isEmpty());
    EXPECT_TRUE(
        messenger.lines.contains(QStringLiteral("(archive of %1 bytes: 50 4b 03 04 ").arg(archive.size()) +
                                 QString::fromLatin1(archive.mid(4, 28).toHex(' ')) + " ...)"))
        << messenger.lines.join('\n').toStdString();
    EXPECT_EQ(handler.StoredFiles(), QStringList{input() + "/Report.xml"});
}

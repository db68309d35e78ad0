#include "export/XlsWorkbook.h"

#include "common/Exception.h"
#include "export/CompoundFile.h"
#include "RunTool.h"
#include "TempDir.h"
#include "WorkbookReaders.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>

namespace {

QString text(const ParsedWorkbook &workbook, int row, int column)
{
    const auto it = workbook.cells.find({row, column});
    return it == workbook.cells.end() ? QStringLiteral("<none>") : it->second.text;
}

ParsedWorkbook saveAndParse(const XlsWorkbook &workbook, const TempDir &folder)
{
    const QString path = folder.filePath(QStringLiteral("book.xls"));
    workbook.save(path);
    return ParseWithSpreadsheetParseExcel(path);
}

TEST(XlsWorkbookTest, CellsWidthsFillsAndFontsReadBack)
{
    XlsWorkbook workbook(QStringLiteral("Sheet1"));
    workbook.setColumnWidth(0, 15);
    workbook.setColumnWidth(3, 20);
    workbook.setText(0, 0, QStringLiteral("Plain"));
    workbook.setText(0, 3, QStringLiteral("Filled"));
    workbook.format(0, 3).fillColour = XlsColour::Tan;
    workbook.setText(2, 1, QString::fromUtf8("Čevlji in žlice, café"));
    workbook.format(2, 1).fontColour = XlsColour::Red;
    workbook.format(2, 1).bold = true;
    workbook.setText(2, 2, QStringLiteral("Plain")); // a shared string used twice
    workbook.format(3, 0).bold = true;               // formatted but empty

    TempDir folder;
    const ParsedWorkbook parsed = saveAndParse(workbook, folder);
    EXPECT_EQ(parsed.sheetNames, QStringList{"Sheet1"});
    EXPECT_DOUBLE_EQ(parsed.columnWidths.at(0), 15);
    EXPECT_DOUBLE_EQ(parsed.columnWidths.at(3), 20);
    EXPECT_FALSE(parsed.columnWidths.contains(1));

    EXPECT_EQ(text(parsed, 0, 0), "Plain");
    EXPECT_EQ(text(parsed, 2, 2), "Plain");
    EXPECT_EQ(text(parsed, 0, 3), "Filled");
    EXPECT_EQ(text(parsed, 2, 1), QString::fromUtf8("Čevlji in žlice, café"));
    EXPECT_EQ(text(parsed, 3, 0), "");
    EXPECT_EQ(text(parsed, 1, 0), "<none>");
    EXPECT_EQ(parsed.cells.at({0, 0}).type, "Text");

    const ParsedCell &filled = parsed.cells.at({0, 3});
    EXPECT_EQ(filled.fillPattern, 1);
    EXPECT_EQ(filled.fillColour, 47);
    EXPECT_EQ(parsed.rgbOfColour(47), "FFCC99");
    EXPECT_FALSE(filled.bold);
    EXPECT_EQ(parsed.cells.at({0, 0}).fillPattern, 0);

    const ParsedCell &red = parsed.cells.at({2, 1});
    EXPECT_EQ(red.fontColour, 10);
    EXPECT_EQ(parsed.rgbOfColour(10), "FF0000");
    EXPECT_TRUE(red.bold);
    EXPECT_EQ(red.fillPattern, 0);
    EXPECT_FALSE(parsed.cells.at({2, 2}).bold);
    EXPECT_TRUE(parsed.cells.at({3, 0}).bold);
}

// Thousands of strings, Latin-1 and wide, overflow the string table's first record, so strings
// continue in further records, some split in the middle of their characters.
TEST(XlsWorkbookTest, StringTableSpreadOverManyRecordsReadsBack)
{
    XlsWorkbook workbook;
    QStringList expected;
    for (int row = 0; row < 3000; ++row) {
        const QString latin = QStringLiteral("row %1 latin text à la carte").arg(row);
        const QString wide = QString::fromUtf8("vrstica %1 šumniki čćž ").arg(row).repeated(1 + row % 5);
        workbook.setText(row, 0, latin);
        workbook.setText(row, 1, wide);
        expected << latin << wide;
    }
    const QString longText = QString::fromUtf8("Ž").repeated(32767);
    workbook.setText(3000, 0, longText);

    TempDir folder;
    const ParsedWorkbook parsed = saveAndParse(workbook, folder);
    for (int row = 0; row < 3000; ++row) {
        ASSERT_EQ(text(parsed, row, 0), expected[2 * row]) << row;
        ASSERT_EQ(text(parsed, row, 1), expected[2 * row + 1]) << row;
    }
    EXPECT_EQ(text(parsed, 3000, 0), longText);
}

TEST(XlsWorkbookTest, EmptyWorkbookIsAValidFile)
{
    TempDir folder;
    const ParsedWorkbook parsed = saveAndParse(XlsWorkbook(QStringLiteral("Prazen")), folder);
    EXPECT_EQ(parsed.sheetNames, QStringList{"Prazen"});
    EXPECT_TRUE(parsed.cells.empty());
}

TEST(XlsWorkbookTest, RefusesWhatTheFormatCannotHold)
{
    XlsWorkbook workbook;
    EXPECT_THROW(workbook.setText(65536, 0, "x"), EConvertError);
    EXPECT_THROW(workbook.setText(0, 256, "x"), EConvertError);
    EXPECT_THROW(workbook.setText(-1, 0, "x"), EConvertError);
    EXPECT_THROW(workbook.setText(0, 0, QString(32768, u'x')), EConvertError);
    EXPECT_THROW(workbook.setColumnWidth(0, 0), EConvertError);
    EXPECT_THROW(workbook.setColumnWidth(0, 256), EConvertError);
    EXPECT_THROW(XlsWorkbook(QString(32, u'x')), EConvertError);
    EXPECT_NO_THROW(workbook.setText(65535, 255, "x"));
}

TEST(XlsWorkbookTest, SaveReplacesTheFileWholeAndLeavesNothingElse)
{
    TempDir folder;
    const QString path = folder.write("book.xls", "old contents");
    XlsWorkbook workbook;
    workbook.setText(0, 0, "new");
    workbook.save(path);
    EXPECT_EQ(folder.files(), QStringList{"book.xls"});
    EXPECT_EQ(folder.read("book.xls"), workbook.fileBytes());
}

TEST(XlsWorkbookTest, SaveFailureNamesThePathAndTheReason)
{
    TempDir folder;
    const QString path = folder.filePath("missing/book.xls");
    try {
        XlsWorkbook().save(path);
        FAIL() << "saved into a missing folder";
    } catch (const EFCreateError &error) {
        EXPECT_TRUE(error.message().startsWith("Cannot create file \"" + path + "\". "))
            << error.message().toStdString();
        EXPECT_GT(error.message().size(), QString("Cannot create file \"" + path + "\". ").size());
    }
    EXPECT_TRUE(folder.files().isEmpty());
}

// The container read by an independent reader (OLE::Storage_Lite, which the spreadsheet reader
// uses), for streams of every size class, up to one that needs FAT sectors past the header's 109.
TEST(XlsWorkbookTest, CompoundFileStreamReadsBackWhole)
{
    const char script[] = R"PERL(
use strict; use warnings; use OLE::Storage_Lite; use Digest::MD5 qw(md5_hex);
my $root = OLE::Storage_Lite->new($ARGV[0])->getPpsTree(1) or die "no tree\n";
for my $child (@{$root->{Child}}) {
  my $name = OLE::Storage_Lite::Ucs2Asc($child->{Name});
  print "$name ", length($child->{Data}), ' ', md5_hex($child->{Data}), "\n";
}
)PERL";
    TempDir folder;
    for (const qsizetype size : {qsizetype(0), qsizetype(100), qsizetype(4096), qsizetype(4097),
                                 qsizetype(512 * 128 * 3 + 1), qsizetype(512 * 128 * 115)}) {
        QByteArray stream(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            stream[i] = char((i * 7919) >> 3);
        const QByteArray file = CompoundFileWithStream(QStringLiteral("Workbook"), stream);
        ASSERT_EQ(file.size() % 512, 0);
        const QString path = folder.write(QStringLiteral("c%1.xls").arg(size), file);
        QByteArray padded = stream;
        if (padded.size() < 4096)
            padded.append(4096 - padded.size(), '\0');
        const QByteArray expected = "Workbook " + QByteArray::number(padded.size()) + ' ' +
                                    QCryptographicHash::hash(padded, QCryptographicHash::Md5).toHex() + '\n';
        EXPECT_EQ(runTool(folder.path(), "perl", {"-e", script, path}), expected) << size;
    }
}

} // namespace

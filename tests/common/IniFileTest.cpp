#include "common/IniFile.h"

#include "TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <QStringEncoder>

namespace {
const QByteArray sample = "; host settings\r\n"
                          "[Nastavitve]\r\n"
                          "VhodniImenik = C:\\Vorn\\In \r\n"
                          "Quoted=\"  two words  \"\r\n"
                          "Single='x'\r\n"
                          "Half=\"open\r\n"
                          "Empty=\r\n"
                          "Pretvorba=1\r\n"
                          "\r\n"
                          "[ Podatki ]\r\n"
                          "Naziv=Obdelave\\Vorn\r\n"
                          "Naziv=second\r\n"
                          "\r\n";
}

TEST(IniFileTest, ReadsTextLikeTheProfileFunctions)
{
    TempDir dir;
    const IniFile file(dir.write("a.ini", sample));
    struct Case
    {
        const char *section, *key, *expected;
    };
    const Case cases[] = {
        {"Nastavitve", "VhodniImenik", "C:\\Vorn\\In"}, // trimmed
        {"NASTAVITVE", "vhodniimenik", "C:\\Vorn\\In"}, // names without regard to case
        {"Nastavitve", "Quoted", "  two words  "},      // a pair of quotes is removed, the inside kept
        {"Nastavitve", "Single", "x"},
        {"Nastavitve", "Half", "\"open"}, // an unpaired quote stays
        {"Nastavitve", "Empty", ""},      // present but empty: not the default
        {"Nastavitve", "Missing", "default"},
        {"Podatki", "Naziv", "Obdelave\\Vorn"}, // blanks inside the brackets; the first key counts
        {"Nowhere", "Naziv", "default"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(file.readString(c.section, c.key, "default"), QString::fromUtf8(c.expected))
            << c.section << "/" << c.key;
}

TEST(IniFileTest, ReadsIntegersLikeTheProfileIntegerReader)
{
    struct Case
    {
        const char *value;
        int expected;
    };
    const Case cases[] = {
        {"1", 1},     {"0", 0},     {"42", 42},        {" 7 ", 7},   {"-3", -3}, {"+5", 5},
        {"0x1F", 31}, {"0X10", 16}, {"12abc", 12},     {"yes", -99}, {"", -99},  {"x1", -99},
        {"0x", 0},    {"-", -99},   {"4294967297", 1}, // wraps around in 32 bits like the profile reader
    };
    TempDir dir;
    for (const Case &c : cases) {
        const IniFile file(dir.write("i.ini", QByteArray("[S]\nK=") + c.value + "\n"));
        EXPECT_EQ(file.readInteger("s", "k", -99), c.expected) << "value '" << c.value << "'";
    }
    const IniFile file(dir.path() + "/i.ini");
    EXPECT_EQ(file.readInteger("S", "Missing", 77), 77);
}

TEST(IniFileTest, MissingFileReadsDefaultsAndListsNothing)
{
    TempDir dir;
    const IniFile file(dir.filePath("none.ini"));
    EXPECT_EQ(file.readString("A", "B", "d"), "d");
    EXPECT_EQ(file.readInteger("A", "B", 5), 5);
    EXPECT_FALSE(file.sectionExists("A"));
    EXPECT_TRUE(file.keys("A").isEmpty());
}

TEST(IniFileTest, KeysOfASectionInFileOrder)
{
    TempDir dir;
    const IniFile file(dir.write("a.ini", sample));
    EXPECT_EQ(file.keys("nastavitve"),
              QStringList({"VhodniImenik", "Quoted", "Single", "Half", "Empty", "Pretvorba"}));
}

TEST(IniFileTest, ReplacingAValueKeepsEveryOtherByte)
{
    TempDir dir;
    const QString path = dir.write("a.ini", sample);
    IniFile file(path);
    file.writeString("nastavitve", "PRETVORBA", "0");

    QByteArray expected = sample;
    expected.replace("Pretvorba=1\r\n", "Pretvorba=0\r\n");
    EXPECT_EQ(dir.read("a.ini"), expected);
    EXPECT_EQ(IniFile(path).readInteger("Nastavitve", "Pretvorba", 9), 0);
}

TEST(IniFileTest, NewKeyGoesToTheEndOfItsSectionBeforeTheBlankLines)
{
    TempDir dir;
    IniFile file(dir.write("a.ini", sample));
    file.writeString("Podatki", "Novi", "v");
    QByteArray expected = sample;
    expected.replace("Naziv=second\r\n", "Naziv=second\r\nNovi=v\r\n");
    EXPECT_EQ(dir.read("a.ini"), expected);
}

TEST(IniFileTest, NewSectionIsAppendedAlsoAfterALastLineWithoutLineEnd)
{
    TempDir dir;
    IniFile file(dir.write("a.ini", "[A]\nx=1"));
    file.writeString("Response", "Status", "OK");
    EXPECT_EQ(dir.read("a.ini"), QByteArray("[A]\nx=1\n[Response]\nStatus=OK\n"));
}

TEST(IniFileTest, WritingCreatesAMissingFileWithWindowsLineEnds)
{
    TempDir dir;
    IniFile file(dir.filePath("new.ini"));
    file.writeString("Request", "Member", "M1");
    file.writeString("Request", "From", "2024-03-01");
    EXPECT_EQ(dir.read("new.ini"), QByteArray("[Request]\r\nMember=M1\r\nFrom=2024-03-01\r\n"));
}

TEST(IniFileTest, ALineBreakInAValueCannotCreateOtherKeys)
{
    TempDir dir;
    const QString path = dir.filePath("m.ini");
    IniFile file(path);
    file.writeString("Messages", "Line1", "first\r\n[Request]\r\nStatus=forged\nend");
    const IniFile reread(path);
    EXPECT_EQ(reread.readString("Messages", "Line1", ""), "first [Request] Status=forged end");
    EXPECT_FALSE(reread.sectionExists("Request"));
}

TEST(IniFileTest, InvalidNamesAreRefused)
{
    TempDir dir;
    IniFile file(dir.filePath("m.ini"));
    EXPECT_THROW(file.writeString("A]B", "k", "v"), EIniFileError);
    EXPECT_THROW(file.writeString("A", "k=x", "v"), EIniFileError);
    EXPECT_THROW(file.writeString("A", " ", "v"), EIniFileError);
    EXPECT_FALSE(dir.exists("m.ini"));
}

TEST(IniFileTest, ErasingASectionRemovesItsHeaderAndLinesOnly)
{
    TempDir dir;
    IniFile file(
        dir.write("a.ini", "[Request]\r\nA=1\r\n\r\n[RESPONSE]\r\nOld=1\r\nOld2=2\r\n[Messages]\r\nM=x\r\n"));
    file.eraseSection("Response");
    EXPECT_EQ(dir.read("a.ini"), QByteArray("[Request]\r\nA=1\r\n\r\n[Messages]\r\nM=x\r\n"));
    EXPECT_FALSE(file.keyExists("Response", "Old"));
    file.eraseSection("Absent"); // nothing to do
    EXPECT_EQ(dir.read("a.ini"), QByteArray("[Request]\r\nA=1\r\n\r\n[Messages]\r\nM=x\r\n"));
}

TEST(IniFileTest, Windows1250FilesAreReadAndExtendedInTheirCodePage)
{
    TempDir dir;
    // "Obdelave ščž" in Windows-1250, which is not valid UTF-8.
    const QByteArray ansi = "[Podatki]\r\nNaziv=Obdelave \x9A\xE8\x9E\r\n";
    IniFile file(dir.write("a.ini", ansi));
    EXPECT_EQ(file.readString("Podatki", "Naziv", ""), QString::fromUtf8("Obdelave ščž"));
    file.writeString("Podatki", "Opis", QString::fromUtf8("Računi"));
    EXPECT_EQ(dir.read("a.ini"), ansi + "Opis=Ra\xE8uni\r\n");
}

TEST(IniFileTest, Utf8FilesWithByteOrderMarkKeepIt)
{
    TempDir dir;
    const QByteArray utf8 = "\xEF\xBB\xBF[Podatki]\nNaziv=Ra\xC4\x8Duni\n";
    IniFile file(dir.write("a.ini", utf8));
    EXPECT_EQ(file.readString("podatki", "naziv", ""), QString::fromUtf8("Računi"));
    file.writeString("Podatki", "X", QString::fromUtf8("č"));
    EXPECT_EQ(dir.read("a.ini"), utf8 + "X=\xC4\x8D\n");
}

TEST(IniFileTest, AFailedWriteThrowsAndLeavesTheReadsAsTheFileIs)
{
    TempDir dir;
    IniFile file(dir.filePath("missing-folder/a.ini"));
    EXPECT_THROW(file.writeString("A", "k", "v"), EIniFileError);
    EXPECT_EQ(file.readString("A", "k", "none"), "none");
}

TEST(IniFileTest, SeveralKeysAreWrittenInOrderInOneGoOrNotAtAll)
{
    TempDir dir;
    IniFile file(dir.write("a.ini", "; host\r\n[Messages]\r\n0=old\r\n[Other]\r\nk=v\r\n"));
    file.writeStrings("messages", {{"0", "first"}, {"1", "second"}, {"2", ""}});
    EXPECT_EQ(dir.read("a.ini"), "; host\r\n[Messages]\r\n0=first\r\n1=second\r\n2=\r\n[Other]\r\nk=v\r\n");

    EXPECT_THROW(file.writeStrings("Messages", {{"3", "x"}, {"a=b", "y"}}), EIniFileError);
    EXPECT_EQ(file.keys("Messages"), (QStringList{"0", "1", "2"}));
    EXPECT_EQ(dir.read("a.ini"), "; host\r\n[Messages]\r\n0=first\r\n1=second\r\n2=\r\n[Other]\r\nk=v\r\n");
}

namespace {
QByteArray utf16(const QString &text, QStringConverter::Encoding encoding)
{
    return QByteArray(encoding == QStringConverter::Utf16LE ? "\xFF\xFE" : "\xFE\xFF") +
           QByteArray(QStringEncoder(encoding)(text));
}

struct WriteCase
{
    const char *name;
    QByteArray before;
    std::function<void(IniFile &file, const QString &path)> write;
    QByteArray after;
};

const WriteCase writeCases[] = {
    {"UTF-16 little-endian keeps its encoding and CR LF",
     utf16("[Request]\r\nA=č\r\n", QStringConverter::Utf16LE),
     [](IniFile &file, const QString &) { file.writeString("Response", "Pot", "ščž"); },
     utf16("[Request]\r\nA=č\r\n[Response]\r\nPot=ščž\r\n", QStringConverter::Utf16LE)},
    {"UTF-16 big-endian keeps its encoding and LF", utf16("[Request]\nA=1", QStringConverter::Utf16BE),
     [](IniFile &file, const QString &) {
         file.writeStrings("request", {{"a", "2"}, {"B", "3"}});
     },
     utf16("[Request]\nA=2\nB=3\n", QStringConverter::Utf16BE)},
    {"lines another writer added since the read stay", "[Request]\r\nA=1\r\n",
     [](IniFile &file, const QString &path) {
         IniFile(path).writeString("Host", "Added", "1");
         file.writeStrings("Response", {{"X", "2"}});
     },
     "[Request]\r\nA=1\r\n[Host]\r\nAdded=1\r\n[Response]\r\nX=2\r\n"},
    {"a section erased by another writer is not brought back", "[Response]\r\nOld=1\r\n[Messages]\r\n0=a\r\n",
     [](IniFile &file, const QString &path) {
         IniFile(path).eraseSection("Response");
         file.writeString("Messages", "1", "b");
     },
     "[Messages]\r\n0=a\r\n1=b\r\n"},
    {"a key given twice in one write is one line with the last value", "[R]\r\n\r\n[S]\r\n",
     [](IniFile &file, const QString &) {
         file.writeStrings("R", {{"k", "1"}, {"K", "2"}, {"m", "3"}});
     },
     "[R]\r\nk=2\r\nm=3\r\n\r\n[S]\r\n"},
};

} // namespace

// What one IniFile object writes, with what another writer did to the file since it was read.
TEST(IniFileTest, WritesOnlyItsOwnKeys)
{
    for (const WriteCase &c : writeCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const QString path = dir.write("a.ini", c.before);
        IniFile file(path);
        c.write(file, path);
        EXPECT_EQ(dir.read("a.ini").toHex(' '), c.after.toHex(' '));
    }
}

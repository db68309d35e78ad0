#include "conversion/TypeTable.h"

#include "common/Exception.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase
{
    QString line;
    QStringList fields;
};

void PrintTo(const SplitCase &c, std::ostream *os)
{
    *os << "[" << c.line.toStdString() << "]";
}

class TypeRowSplitting : public testing::TestWithParam<SplitCase>
{
};

TEST_P(TypeRowSplitting, SplitsFields)
{
    const SplitCase &c = GetParam();
    EXPECT_EQ(TypeTable::splitRow(c.line), c.fields);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TypeRowSplitting,
    testing::Values(SplitCase{"PR,12,1,2,D", {"PR", "12", "1", "2", "D"}},
                    // An unquoted blank ends a field like a comma.
                    SplitCase{"PR 12,1", {"PR", "12", "1"}}, SplitCase{"  \tPR ,  12", {"PR", "12"}},
                    SplitCase{"PR,,1", {"PR", "", "1"}}, SplitCase{"PR,1,", {"PR", "1", ""}},
                    // A comma followed by blanks at the end adds no field.
                    SplitCase{"PR,1,  ", {"PR", "1"}}, SplitCase{",PR", {"", "PR"}},
                    SplitCase{"\"A B\",\"say \"\"hi\"\"\",x", {"A B", "say \"hi\"", "x"}},
                    SplitCase{"\"open", {"open"}}, SplitCase{"\"ab\"cd", {"ab", "cd"}}, SplitCase{"", {}},
                    SplitCase{"   ", {}}, SplitCase{QString::fromLatin1("A,B\0C", 5), {"A", "B"}}));

TEST(TypeTable, CsvFieldCountsFromOneAndIsEmptyBeyondTheRow)
{
    EXPECT_EQ(TypeTable::CsvField(u"PR,12,1", 1), "PR");
    EXPECT_EQ(TypeTable::CsvField(u"PR,12,1", 3), "1");
    EXPECT_EQ(TypeTable::CsvField(u"PR,12,1", 4), "");
    EXPECT_EQ(TypeTable::CsvField(u"PR,12,1", 0), "");
}

TEST(TypeTable, FindsTheFirstMatchingRowIgnoringCase)
{
    const TypeTable table({"XX,1,1,1,N,Y", "pr,12,1,2,D", "PR,99,9,9,N,N"});
    const TypeLookup outgoing = table.FindType("PR", 2);
    EXPECT_TRUE(outgoing.found);
    EXPECT_EQ(outgoing.kind, 12);
    EXPECT_EQ(outgoing.direction, 2);
    EXPECT_EQ(outgoing.fifthFlag, "D");
    EXPECT_EQ(outgoing.sixthFlag, "");
    EXPECT_EQ(table.FindType("Pr", 1).direction, 1);
    EXPECT_EQ(table.FindType("xx", 1).sixthFlag, "Y");
}

TEST(TypeTable, NumbersThatAreNotWholeNumbersReadAsZero)
{
    const TypeTable table({"AB,x,1.5", "CD,-3, 7"});
    const TypeLookup ab = table.FindType("AB", 1);
    EXPECT_TRUE(ab.found);
    EXPECT_EQ(ab.kind, 0);
    EXPECT_EQ(ab.direction, 0);
    EXPECT_EQ(table.FindType("AB", 2).direction, 0);
    EXPECT_EQ(table.FindType("CD", 1).kind, -3);
    EXPECT_EQ(table.FindType("CD", 1).direction, 7);
}

TEST(TypeTable, SearchStopsAtTheFirstBlankLine)
{
    const TypeTable table({"XX,1,1,1", "   ", "PR,12,1,2,D,Y"});
    const TypeLookup result = table.FindType("PR", 2);
    EXPECT_FALSE(result.found);
    EXPECT_EQ(result.kind, 0);
    EXPECT_EQ(result.direction, 0);
    EXPECT_EQ(result.sixthFlag, "N");
}

TEST(TypeTable, LoadsEveryLineOfTheFileInWindows1250)
{
    TempDir dir;
    const QString path = dir.write("tipi.ini", "PR,12,1,2,D\r\n\r\nN\x9A,1\nLAST");
    EXPECT_EQ(TypeTable::load(path).lines(),
              (QStringList{"PR,12,1,2,D", "", QString::fromUtf8("Nš,1"), "LAST"}));
}

TEST(TypeTable, MissingFileFailsWithThePathAndTheReason)
{
    TempDir dir;
    const QString path = dir.filePath("tipi.ini");
    try {
        TypeTable::load(path);
        FAIL() << "no error";
    } catch (const EFOpenError &error) {
        EXPECT_TRUE(error.message().startsWith("Cannot open file \"" + path + "\". "))
            << error.message().toStdString();
        EXPECT_GT(error.message().size(), QString("Cannot open file \"" + path + "\". ").size());
    }
}

} // namespace

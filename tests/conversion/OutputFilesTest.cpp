#include "conversion/OutputFiles.h"

#include "common/Exception.h"
#include "conversion/FolderClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>

namespace {

const QDateTime kSince(QDate(2024, 1, 16), QTime(9, 0));

// Writes a file whose last-write time is the given time.
void writeFile(const TempDir &dir, const QString &name, const QDateTime &modified,
               const QByteArray &bytes = "x")
{
    dir.write(name, bytes);
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

TEST(TagMemberFiles, OneNewFileTakesTheBaseNameWithTheMemberCode)
{
    TempDir dir;
    writeFile(dir, "razpor20240115.txt", kSince, "content");
    TagMemberFiles(dir.path(), "razpor*.txt", "razpor.txt", "ABC", kSince);
    EXPECT_EQ(dir.files(), QStringList{"razpor_ABC.txt"});
    EXPECT_EQ(dir.read("razpor_ABC.txt"), "content");
}

TEST(TagMemberFiles, WhenTheBaseNameIsTakenTheFileKeepsItsTaggedName)
{
    TempDir dir;
    writeFile(dir, "razpor_ABC.txt", kSince.addDays(-3), "old");
    writeFile(dir, "razpor20240115.txt", kSince.addSecs(5), "new");
    TagMemberFiles(dir.path(), "razpor*.txt", "razpor.txt", "ABC", kSince);
    EXPECT_EQ(dir.files(), (QStringList{"razpor20240115_ABC.txt", "razpor_ABC.txt"}));
    EXPECT_EQ(dir.read("razpor_ABC.txt"), "old");
}

TEST(TagMemberFiles, SeveralNewFilesKeepTheirOwnTaggedNames)
{
    TempDir dir;
    writeFile(dir, "razpor20240115.txt", kSince);
    writeFile(dir, "razpor20240116.txt", kSince.addSecs(60));
    TagMemberFiles(dir.path(), "razpor*.txt", "razpor.txt", "ABC", kSince);
    EXPECT_EQ(dir.files(), (QStringList{"razpor20240115_ABC.txt", "razpor20240116_ABC.txt"}));
}

TEST(TagMemberFiles, OlderFilesAlreadyTaggedFilesAndOtherNamesStay)
{
    TempDir dir;
    writeFile(dir, "razpor20240114.txt", kSince.addSecs(-1));
    writeFile(dir, "razpor20240115_ABC.txt", kSince.addSecs(1));
    writeFile(dir, "transa20240115.txt", kSince.addSecs(1));
    TagMemberFiles(dir.path(), "razpor*.txt", "razpor.txt", "ABC", kSince);
    EXPECT_EQ(dir.files(),
              (QStringList{"razpor20240114.txt", "razpor20240115_ABC.txt", "transa20240115.txt"}));
}

TEST(TagMemberFiles, AnEmptyMemberCodeChangesNothing)
{
    TempDir dir;
    writeFile(dir, "razpor20240115.txt", kSince);
    TagMemberFiles(dir.path(), "razpor*.txt", "razpor.txt", "", kSince);
    EXPECT_EQ(dir.files(), QStringList{"razpor20240115.txt"});
}

TEST(TagMemberFiles, TheCodeGoesBeforeTheFirstDotOfTheName)
{
    TempDir dir;
    writeFile(dir, "transa20240115.a.txt", kSince);
    writeFile(dir, "transa20240116.b.txt", kSince);
    TagMemberFiles(dir.path(), "transa*", "transa.txt", "M1", kSince);
    EXPECT_EQ(dir.files(), (QStringList{"transa20240115_M1.a.txt", "transa20240116_M1.b.txt"}));
}

TEST(DeleteFiles, DeletesTheMatchingFilesOnly)
{
    TempDir dir;
    dir.write("transa1.txt", "x");
    dir.write("transa22.txt", "x");
    dir.write("razpor1.txt", "x");
    DeleteFiles(dir.path(), "transa?.txt");
    EXPECT_EQ(dir.files(), (QStringList{"razpor1.txt", "transa22.txt"}));
    DeleteFiles(dir.path(), "*.txt");
    EXPECT_TRUE(dir.files().isEmpty());
}

TEST(MatchesMask, OnlyStarAndQuestionMarkAreWildcardsAndCaseCounts)
{
    const struct
    {
        const char *name;
        const char *mask;
        bool matches;
    } cases[] = {
        {"transa_DEMO.txt", "transa*_DEMO.txt", true},
        {"transa20240115_DEMO.txt", "transa*_DEMO.txt", true},
        {"transa_XDEMO.txt", "transa*_DEMO.txt", false},
        {"transa20240115_XDEMO.txt", "transa*_DEMO.txt", false},
        {"transa_AB.txt", "transa*_A[B].txt", false},
        {"transa_A[B].txt", "transa*_A[B].txt", true},
        {"transa_ABC.txt", "transa*_abc.txt", false},
        {"TRANSA.txt", "transa*.txt", false},
        {"transa1.txt", "transa?.txt", true},
        {"transa12.txt", "transa?.txt", false},
        {"transa.txt", "transa*.txt", true},
        {"transa.txt.bak", "transa*.txt", false},
        {"a.txt.txt", "*.txt", true},
        {"a*bc", "a*c", true},
        {"", "*", true},
        {"x", "", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MatchesMask(QString(c.name), QString(c.mask)), c.matches) << c.name << " " << c.mask;
}

TEST(MemberFilesMask, EndsWithTheTagOfTheMemberOrTakesEveryFileWithoutOne)
{
    EXPECT_EQ(MemberFilesMask("transa", "DEMO"), "transa*_DEMO.txt");
    EXPECT_EQ(MemberFilesMask("razpor", ""), "razpor*.txt");
}

TEST(RequireSafeMemberCode, RefusesWhatFileNamesAndMasksCannotCarry)
{
    for (const QString code : {"*", "A?", "A[B", "B]", "a/b", "a\\b", "C:", "..", "x..y", "A\tB", "A\x7f"}) {
        try {
            RequireSafeMemberCode(code);
            ADD_FAILURE() << code.toStdString();
        } catch (const EConvertError &error) {
            EXPECT_EQ(error.message(), "Invalid member code \"" + code + "\"");
        }
    }
    for (const QString &code :
         std::initializer_list<QString>{"", "DEMO", "A.B", "A-B_C", QString::fromUtf8("Č")})
        EXPECT_NO_THROW(RequireSafeMemberCode(code)) << code.toStdString();
    EXPECT_THROW(RequireSafeFileSuffix("x/../../stolen"), EConvertError);
    EXPECT_THROW(RequireSafeFileSuffix(".."), EConvertError);
    EXPECT_NO_THROW(RequireSafeFileSuffix("2024.01"));
}

TEST(JoinPath, AddsOneSeparatorUnlessTheFolderEndsWithOne)
{
    EXPECT_EQ(joinPath("/out", "a.txt"), "/out/a.txt");
    EXPECT_EQ(joinPath("/out/", "a.txt"), "/out/a.txt");
    EXPECT_EQ(joinPath("C:\\out\\", "a.txt"), "C:\\out\\a.txt");
}

} // namespace

namespace {

TEST(ProbeFolderClock, TakesTheTimeOfAFileWrittenThereAndLeavesNoFile)
{
    TempDir dir;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    const QDateTime probed = ProbeFolderClock(dir.path());
    EXPECT_GE(probed, before);
    EXPECT_LE(probed, QDateTime::currentDateTime().addSecs(2));
    EXPECT_TRUE(dir.files().isEmpty());
    // A file written after the probe counts as written by the run.
    writeFile(dir, "razpor20240115.txt", QDateTime::currentDateTime());
    TagMemberFiles(dir.path(), "razpor*.txt", "razpor.txt", "ABC", probed);
    EXPECT_EQ(dir.files(), QStringList{"razpor_ABC.txt"});
}

TEST(ProbeFolderClock, AFolderThatCannotBeWrittenFails)
{
    TempDir dir;
    EXPECT_THROW(ProbeFolderClock(dir.filePath("missing")), EFCreateError);
}

} // namespace

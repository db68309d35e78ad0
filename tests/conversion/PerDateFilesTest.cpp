#include "conversion/PerDateFiles.h"

#include "common/Exception.h"
#include "FullDevice.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>

TEST(PerDateFilesTest, ManyDatesWithFewHandlesGiveTheSameBytes)
{
    TempDir folder;
    folder.write("transa20240102.txt", "left by an earlier run\r\n");
    const QDate days[] = {QDate(2024, 1, 1), QDate(2024, 1, 2), QDate(2024, 1, 3)};
    {
        PerDateFiles files(folder.path(), "transa", 2);
        for (int round = 0; round < 3; ++round) {
            for (const QDate &day : days)
                files.append(day, QByteArray::number(round) + ":" + day.toString("dd").toLatin1());
        }
        files.close();
    }
    EXPECT_EQ(folder.files(),
              (QStringList{"transa20240101.txt", "transa20240102.txt", "transa20240103.txt"}));
    EXPECT_EQ(folder.read("transa20240102.txt"), "0:02\r\n1:02\r\n2:02\r\n");
    EXPECT_EQ(folder.read("transa20240103.txt"), "0:03\r\n1:03\r\n2:03\r\n");
}

TEST(PerDateFilesTest, LinesAreOnDiskOnceTheFilesAreReleased)
{
    TempDir folder;
    {
        PerDateFiles files(folder.path(), "transa");
        files.append(QDate(2024, 1, 15), "one");
    }
    EXPECT_EQ(folder.read("transa20240115.txt"), "one\r\n");
}

TEST(PerDateFilesTest, AFileThatCannotBeWrittenStopsTheLinesOfTheRun)
{
    TempDir folder;
    if (!plantFullDevice(folder.filePath("transa20240116.txt")))
        GTEST_SKIP() << "no full device can be made here";
    const QByteArray line(694, 'x');
    qsizetype appended = 0;
    try {
        PerDateFiles files(folder.path(), "transa");
        // Enough lines, many pieces of each file, that the failure is met while appending, not
        // only when closing.
        for (; appended < 40000; ++appended)
            files.append(QDate(2024, 1, 15 + appended % 2), line);
        files.close();
        FAIL() << "the lines of a full disk were taken as written";
    } catch (const EInOutError &error) {
        EXPECT_TRUE(
            error.message().startsWith("Cannot write file " + folder.filePath("transa20240116.txt") + ": "))
            << error.what();
    }
    EXPECT_LT(appended, 40000) << "the failure reached the run before its end";
    // The other date's lines, up to the one whose append reported the failure, are on disk whole.
    EXPECT_EQ(folder.read("transa20240115.txt"), (line + "\r\n").repeated(appended / 2 + 1));
}

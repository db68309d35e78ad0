#include "conversion/FileWriterThread.h"

#include "common/Exception.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>

namespace {

// A piece of recognisable bytes whose length varies with its number.
QByteArray piece(int number)
{
    return QByteArray::number(number).repeated(1 + number % 97) + '\n';
}

// A file of the folder opened for writing, without a buffer of its own as the converters open it.
std::unique_ptr<QFile> openedFile(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    EXPECT_TRUE(file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) << path.toStdString();
    return file;
}

} // namespace

TEST(FileWriterThreadTest, PiecesReachEachFileInTheOrderHandedOver)
{
    TempDir folder;
    std::unique_ptr<QFile> files[] = {openedFile(folder.filePath("a")), openedFile(folder.filePath("b")),
                                      openedFile(folder.filePath("c"))};
    QByteArray expected[3];
    FileWriterThread writer;
    for (int number = 0; number < 3000; ++number) {
        const int target = (number * 7) % 3;
        QByteArray buffer = writer.spareBuffer();
        EXPECT_TRUE(buffer.isEmpty());
        buffer.append(piece(number));
        expected[target] += piece(number);
        writer.write(*files[target], std::move(buffer));
    }
    writer.wait();
    EXPECT_EQ(folder.read("a"), expected[0]);
    EXPECT_EQ(folder.read("b"), expected[1]);
    EXPECT_EQ(folder.read("c"), expected[2]);
    EXPECT_GT(writer.spareBuffer().capacity(), 0) << "written buffers come back with their room";
}

TEST(FileWriterThreadTest, WhatIsHandedOverIsWrittenBeforeTheWriterGoes)
{
    TempDir folder;
    const std::unique_ptr<QFile> file = openedFile(folder.filePath("out"));
    QByteArray expected;
    {
        FileWriterThread writer;
        for (int number = 0; number < 500; ++number) {
            expected += piece(number);
            writer.write(*file, piece(number));
        }
    }
    EXPECT_EQ(folder.read("out"), expected);
}

TEST(FileWriterThreadTest, AFailedWriteIsReportedAndLaterPiecesAreStillWritten)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    TempDir folder;
    const std::unique_ptr<QFile> full = openedFile("/dev/full");
    const std::unique_ptr<QFile> good = openedFile(folder.filePath("good"));
    FileWriterThread writer;
    writer.write(*full, "lost");
    try {
        writer.wait();
        FAIL() << "a write to a full device was taken as done";
    } catch (const EInOutError &error) {
        EXPECT_TRUE(error.message().startsWith("Cannot write file /dev/full: No space left on device"))
            << error.what();
    }
    EXPECT_THROW(writer.write(*good, "kept\n"), EInOutError);
    EXPECT_THROW(writer.wait(), EInOutError) << "the failure stays reported";
    EXPECT_EQ(folder.read("good"), "kept\n");
}

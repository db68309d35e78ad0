#include "common/FileAccess.h"

#include "common/IniFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

// What the program reads is refused at once unless it is a regular file; a FIFO without writer
// would block the open, a device feed the reader without end.
TEST(OpenRegularFileForReading, RefusesEverythingButRegularFilesAtOnce)
{
    TempDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString fifoLink = dir.filePath("link");
    ASSERT_TRUE(QFile::link(fifo, fifoLink));
    const struct
    {
        QString path;
        QString reason; // empty: opened
    } cases[] = {
        {dir.write("plain.txt", "text"), ""},
        {fifo, "Not a regular file (a FIFO, device or folder)"},
        {fifoLink, "Not a regular file (a FIFO, device or folder)"},
        {"/dev/zero", "Not a regular file (a FIFO, device or folder)"},
        {dir.path(), "Not a regular file (a FIFO, device or folder)"},
        {dir.filePath("absent"), "No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QFile file(c.path);
        EXPECT_EQ(openRegularFileForReading(file), c.reason);
        EXPECT_EQ(file.isOpen(), c.reason.isEmpty());
        if (file.isOpen()) {
            EXPECT_EQ(file.readAll(), "text");
        }
    }
}

TEST(IniFileReading, AFifoOrDeviceIsRefusedAndAMissingFileReadsAsEmpty)
{
    TempDir dir;
    const QString fifo = dir.filePath("settings.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : {fifo, QStringLiteral("/dev/zero")})
        EXPECT_THROW(IniFile{path}, EIniFileError) << path.toStdString();
    EXPECT_TRUE(IniFile(dir.filePath("absent.ini")).keys("Nastavitve").isEmpty());
}

TEST(WriteAll, AFullDeviceFailsWithTheSystemsReason)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    const QIODevice::OpenMode modes[] = {QIODevice::WriteOnly, QIODevice::WriteOnly | QIODevice::Unbuffered};
    for (const QIODevice::OpenMode mode : modes) {
        QFile file("/dev/full");
        ASSERT_TRUE(file.open(mode));
        // Larger than a write buffer, so the first write reaches the device.
        EXPECT_FALSE(writeAll(file, QByteArray(1 << 20, 'x')));
        EXPECT_EQ(cannotWriteMessage(file), "Cannot write file /dev/full: No space left on device");
    }
}

TEST(WriteAll, WritesEveryByte)
{
    TempDir dir;
    QFile file(dir.filePath("out"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray bytes = QByteArray("0123456789").repeated(100000);
    EXPECT_TRUE(writeAll(file, bytes));
    file.close();
    EXPECT_EQ(dir.read("out"), bytes);
}

} // namespace

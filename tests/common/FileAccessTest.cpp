#include "common/FileAccess.h"

#include "common/IniFile.h"
#include "TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <sys/resource.h>
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

// Appended files are opened without following a link; replacing removes the link itself first.
TEST(OpenInFolderForWriting, NeverWritesThroughALink)
{
    TempDir dir;
    const QString victim = dir.write("victim.txt", "victim");
    const QString path = dir.filePath("transa20240115.txt");
    for (const bool append : {true, false}) {
        QFile::remove(path);
        ASSERT_TRUE(QFile::link(victim, path));
        QFile file;
        EXPECT_EQ(openInFolderForWriting(file, path, append),
                  append ? "A link stands at the file's name; it is not followed" : "");
        EXPECT_EQ(file.isOpen() && writeAll(file, "line"), !append);
        EXPECT_EQ(QFileInfo(path).isSymLink(), append);
    }
    EXPECT_EQ(dir.read("transa20240115.txt"), "line");
    EXPECT_EQ(dir.read("victim.txt"), "victim");
}

// A write that fails names the path and the system's reason, here the process's file size limit.
TEST(FolderSaveFile, AFailedWriteNamesThePathAndTheSystemsReason)
{
    TempDir dir;
    struct rlimit previous = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    FolderSaveFile file(dir.filePath("MemberAccounts.xml"));
    const bool written = file.open() && file.write(QByteArray(4096, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(file.cannotWriteMessage(),
              "Cannot write file " + dir.filePath("MemberAccounts.xml") + ": File too large");
}

#include "common/FileAccess.h"

#include "common/IniFile.h"
#include "TempDir.h"

#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <QDir>
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

// A file the program writes is always a new file of its folder: whatever stands at its name is
// replaced, a link never followed, and no temporary file stays behind.
TEST(FolderSaveFile, ReplacesWhatStandsAtTheNameWithoutFollowingALink)
{
    TempDir dir;
    QDir().mkpath(dir.filePath("out"));
    const QString victim = dir.write("victim.txt", "victim");
    const struct
    {
        const char *name;
        std::function<void(const QString &)> plant;
    } cases[] = {
        {"nothing", [](const QString &) {}},
        {"read-only file",
         [&](const QString &path) {
             dir.write("out/stanje.txt", "old");
             QFile::setPermissions(path, QFile::ReadOwner);
         }},
        {"link", [&](const QString &path) { QFile::link(victim, path); }},
        {"dangling link", [&](const QString &path) { QFile::link(dir.filePath("outside.txt"), path); }},
    };
    const QString path = dir.filePath("out/stanje.txt");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        c.plant(path);
        FolderSaveFile file(path);
        ASSERT_TRUE(file.open()) << file.errorString().toStdString();
        ASSERT_TRUE(file.write("new") && file.commit()) << file.errorString().toStdString();
        EXPECT_FALSE(QFileInfo(path).isSymLink());
        EXPECT_EQ(dir.read("out/stanje.txt"), "new");
        EXPECT_EQ(QDir(dir.filePath("out")).entryList(QDir::Files | QDir::Hidden), QStringList{"stanje.txt"});
    }
    EXPECT_EQ(dir.read("victim.txt"), "victim");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("outside.txt")));

    FolderSaveFile missing(dir.filePath("absent/stanje.txt"));
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.cannotCreateMessage(),
              "Cannot create file \"" + dir.filePath("absent/stanje.txt") + "\". No such file or directory");
}

// Appended files are opened without following a link; replacing removes the link itself first.
TEST(OpenInFolderForWriting, NeverWritesThroughALink)
{
    TempDir dir;
    const QString victim = dir.write("victim.txt", "victim");
    const QString path = dir.filePath("transa20240115.txt");
    const struct
    {
        bool append;
        QString reason;
        QByteArray written; // what the file holds afterwards
    } cases[] = {
        {true, "A link stands at the file's name; it is not followed", ""},
        {false, "", "line"},
    };
    for (const auto &c : cases) {
        QFile::remove(path);
        ASSERT_TRUE(QFile::link(victim, path));
        QFile file;
        EXPECT_EQ(openInFolderForWriting(file, path, c.append), c.reason);
        if (file.isOpen()) {
            EXPECT_TRUE(writeAll(file, "line"));
        }
        file.close();
        EXPECT_EQ(QFileInfo(path).isSymLink(), c.append);
        if (!c.append) {
            EXPECT_EQ(dir.read("transa20240115.txt"), c.written);
        }
    }
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

TEST(Printable, ShowsControlCharactersAsEscapes)
{
    const struct
    {
        QString text;
        QString shown;
    } cases[] = {
        {"Member.xml", "Member.xml"},
        {"a\r\nb", "a\\r\\nb"},
        {"\x1b[2Jx\ty", "\\e[2Jx\\ty"},
        {QString(QChar(0x7f)) + QChar(0x85) + "č", "\\x7f\\x85č"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(printable(c.text), c.shown);
}

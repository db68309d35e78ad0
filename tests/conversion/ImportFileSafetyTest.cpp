// VornConvert run against prepared output folders, one table per way a conversion could lose or
// mix import files or hang: a full disk, other members' files, refused member codes and
// suffixes, two conversions at once, missing settings, and files that are no regular files.
// Every case checks the folder's files byte for byte afterwards.
#include "HostTestDatabase.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSamples = QStringLiteral(VORN_SAMPLES_DIR);
// A folder's files by name.
struct Files : std::map<QString, QByteArray>
{
    using map::map;
};

// Names and texts, for failure messages that can be read.
void PrintTo(const Files &files, std::ostream *stream)
{
    for (const auto &[name, bytes] : files)
        *stream << "\n  " << name.toStdString() << " (" << bytes.size()
                << " bytes): " << bytes.left(40).toStdString();
}

struct ToolRun
{
    bool finished = false; // within its time limit
    int exitCode = -1;
    QString log; // standard output and error
};

Files filesOf(const QString &folder)
{
    Files files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile file(QDir(folder).filePath(name));
        files[name] = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    return files;
}

// Files of earlier runs: an hour old, so that no conversion takes them for its own.
void writeFiles(const QString &folder, const Files &files)
{
    for (const auto &[name, bytes] : files) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            << name.toStdString();
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
    }
}

// The report with its records of the element repeated until there are at least count of them.
QByteArray enlarged(const QByteArray &report, const QByteArray &element, int count)
{
    const qsizetype first = report.indexOf("<" + element + ">");
    const qsizetype end = report.lastIndexOf("</" + element + ">") + element.size() + 3;
    const QByteArray records = report.mid(first, end - first);
    return report.left(first) + records.repeated(count / records.count("<" + element + ">") + 1) +
           report.mid(end);
}

// The demo's samples, type table and host rows (scripts/demo), converted by a copy of VornConvert
// in a program folder of its own; reports can be replaced in a copy of the samples.
class ImportFileSafetyTest : public testing::Test
{
protected:
    TempDir program;
    TempDir input;
    TempDir output;
    HostTestDatabase host{HostEngine::SQLite, QStringLiteral("DEMO")};

    void SetUp() override
    {
        ASSERT_TRUE(QFile::copy(VORN_CONVERT_PATH, program.filePath("VornConvert")));
        ASSERT_TRUE(QFile::copy(kSamples + "/tipi.ini", program.filePath("tipi.ini")));
        for (const QString &name : QDir(kSamples).entryList({"*.xml"}, QDir::Files))
            ASSERT_TRUE(QFile::copy(kSamples + "/" + name, input.filePath(name)));
        writeSettings(input.path(), output.path());
        host.createHostTables();
        host.execScript(kSamples + "/demo-host.sql");
    }

    void writeSettings(const QString &inputFolder, const QString &outputFolder) const
    {
        program.write("VornImport.ini", ("[Nastavitve]\r\nVhodniImenik=" + inputFolder +
                                         "\r\nIzhodniImenik=" + outputFolder + "\r\nPapirPoKotacijiSLO=1\r\n")
                                            .toUtf8());
    }

    QProcess *start(const QStringList &options) const
    {
        auto *process = new QProcess;
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(program.filePath("VornConvert"), QStringList{"DEMO", "demo", "demo"} + options);
        return process;
    }

    // A run that has not ended within the limit is killed: it would have hung.
    static ToolRun finish(QProcess *process, int limitMs = 60000)
    {
        const std::unique_ptr<QProcess> owned(process);
        ToolRun run;
        run.finished = process->waitForFinished(limitMs);
        if (!run.finished) {
            process->kill();
            process->waitForFinished();
        }
        run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
        run.log = QString::fromUtf8(process->readAll());
        return run;
    }

    ToolRun convert(const QStringList &options, int limitMs = 60000) const
    {
        return finish(start(options), limitMs);
    }

    // The files a conversion leaves in an empty folder: what a folder holds after it besides
    // the files that were there before.
    Files reference(const QStringList &options)
    {
        TempDir folder;
        writeSettings(input.path(), folder.path());
        const ToolRun run = convert(options);
        EXPECT_TRUE(run.finished && run.exitCode <= 1) << run.log.toStdString();
        writeSettings(input.path(), output.path());
        return filesOf(folder.path());
    }
};

// ---------------------------------------------------------------------------------------------
// A full disk: a small tmpfs as the output folder.

class SmallFileSystem
{
public:
    explicit SmallFileSystem(const QString &size)
    {
        if (::geteuid() != 0) {
            m_skipReason = "mounting a small tmpfs needs root";
            return;
        }
        if (::mount("tmpfs", QFile::encodeName(m_folder.path()).constData(), "tmpfs", 0,
                    ("size=" + size).toLatin1().constData()) != 0) {
            m_skipReason = "cannot mount a tmpfs here: " + qt_error_string(errno).toStdString();
            return;
        }
        m_mounted = true;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder.path()).constData(), MNT_DETACH);
    }

    const std::string &skipReason() const { return m_skipReason; }
    QString path() const { return m_folder.path(); }

private:
    TempDir m_folder;
    bool m_mounted = false;
    std::string m_skipReason;
};

struct FullDiskCase
{
    const char *type;
    const char *report;
    const char *element;
    int records;      // in the enlarged report, more than the disk takes
    int recordLength; // with its CR LF
};

void PrintTo(const FullDiskCase &c, std::ostream *stream)
{
    *stream << c.type;
}

class FullDiskTest : public ImportFileSafetyTest, public testing::WithParamInterface<FullDiskCase>
{
};

TEST_P(FullDiskTest, NoImportFileIsCutShortAndTheSystemSaysWhy)
{
    const FullDiskCase &c = GetParam();
    const SmallFileSystem disk("256k");
    if (!disk.skipReason().empty())
        GTEST_SKIP() << "full disk not tested: " << disk.skipReason();
    QFile report(input.filePath(c.report));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    input.write(c.report, enlarged(report.readAll(), c.element, c.records));
    const Files complete = reference({"--type", c.type});
    const Files previous = {{"stanje.txt", "previous run\r\n"}, {"transa_XDEMO.txt", "other member\r\n"}};
    writeFiles(disk.path(), previous);
    writeSettings(input.path(), disk.path());

    const ToolRun run = convert({"--type", c.type});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 2) << run.log.toStdString();
    EXPECT_TRUE(
        run.log.contains(QRegularExpression("Cannot write file " + QRegularExpression::escape(disk.path()) +
                                            "/[a-z0-9]+\\.txt: No space left on device")))
        << run.log.toStdString();
    EXPECT_FALSE(run.log.contains("Unknown error")) << run.log.toStdString();

    // The files of before stay; a per-date file of the failed run holds whole records of the
    // complete one, untagged.
    for (const auto &[name, bytes] : filesOf(disk.path())) {
        SCOPED_TRACE(name.toStdString());
        if (previous.count(name)) {
            EXPECT_EQ(bytes, previous.at(name));
            continue;
        }
        const QString tagged = name.left(name.indexOf('.')) + "_DEMO.txt";
        ASSERT_TRUE(complete.count(tagged)) << "a file the complete run does not write";
        EXPECT_EQ(bytes.size() % c.recordLength, 0);
        EXPECT_EQ(bytes, complete.at(tagged).left(bytes.size()));
    }
    EXPECT_TRUE(filesOf(disk.path()).count("stanje.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    ImportFiles, FullDiskTest,
    testing::Values(FullDiskCase{"Stanja", "MemberAccountPositions.xml", "MemberAccountPosition", 3000, 107},
                    FullDiskCase{"Transakcije", "MemberTransactions.xml", "MemberTransaction", 1000, 696}),
    [](const auto &info) { return std::string(info.param.type); });

// ---------------------------------------------------------------------------------------------
// Other members' files side by side with the converted member's.

struct NeighbourCase
{
    const char *member;
    const char *neighbour;
    bool refused; // the member code cannot name files
};

TEST_F(ImportFileSafetyTest, AConversionTouchesNoOtherMembersFiles)
{
    const NeighbourCase cases[] = {
        {"DEMO", "XDEMO", false},
        {"abc", "ABC", false},
        {"A[B]", "AB", true},
    };
    for (const char *type : {"Transakcije", "Dnevne Transakcije", "Razporeditve", "Dnevne Razporeditve"}) {
        for (const NeighbourCase &c : cases) {
            SCOPED_TRACE(std::string(type) + " for " + c.member);
            const QString prefix = QString(type).contains("Transakcije") ? "transa" : "razpor";
            const Files neighbours = {
                {prefix + "_" + c.neighbour + ".txt", "single file\r\n"},
                {prefix + "20250212_" + c.neighbour + ".txt", "dated file\r\n"},
            };
            const Files complete = c.refused ? Files() : reference({"--type", type, "--member", c.member});
            QDir(output.path()).removeRecursively();
            QDir().mkpath(output.path());
            writeFiles(output.path(), neighbours);

            const ToolRun run = convert({"--type", type, "--member", c.member});
            ASSERT_TRUE(run.finished);
            Files expected = neighbours;
            if (c.refused) {
                EXPECT_EQ(run.exitCode, 2);
                EXPECT_TRUE(run.log.contains(QString("Invalid member code \"%1\"").arg(c.member)))
                    << run.log.toStdString();
            } else {
                EXPECT_EQ(run.exitCode, 0) << run.log.toStdString();
                expected.insert(complete.begin(), complete.end());
                EXPECT_FALSE(complete.empty());
            }
            EXPECT_EQ(filesOf(output.path()), expected);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Member codes and suffixes that file names and masks cannot carry.

TEST_F(ImportFileSafetyTest, RefusedMemberCodesAndSuffixesChangeNoFile)
{
    const Files before = {
        {"stanje.txt", "own positions\r\n"},
        {"racuni_ABC.txt", "accounts of ABC\r\n"},
        {"transa.txt", "untagged\r\n"},
        {"transa_ABC.txt", "transactions of ABC\r\n"},
        {"razpor20250212_ABC.txt", "allocations\r\n"},
        {"razpor.txt", "untagged\r\n"},
    };
    writeFiles(output.path(), before);
    const QString memberCodes[] = {
        "*", "?", "A[B]", "A]B", "../evil", "a/b", "a\\b", "C:", "..", "A\tB", QString("A") + QChar(0x1b)};
    const char *types[] = {
        "Stanja", "Računi", "Transakcije", "Dnevne Transakcije", "Razporeditve", "Dnevne Razporeditve"};
    for (const char *type : types) {
        for (const QString &code : memberCodes) {
            SCOPED_TRACE(std::string(type) + " for member " + code.toStdString());
            const ToolRun run = convert({"--type", type, "--member", code});
            ASSERT_TRUE(run.finished);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_TRUE(run.log.contains("Invalid member code \"" + code + "\"")) << run.log.toStdString();
            EXPECT_EQ(filesOf(output.path()), before);
        }
    }
    const char *suffixes[] = {"x/../../stolen", "../stolen", "a/b", "a\\b", ".."};
    for (const char *type : {"Transakcije", "Dnevne Transakcije", "Razporeditve", "Dnevne Razporeditve"}) {
        for (const char *suffix : suffixes) {
            SCOPED_TRACE(std::string(type) + " with suffix " + suffix);
            const ToolRun run = convert({"--type", type, "--suffix", suffix});
            ASSERT_TRUE(run.finished);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_TRUE(run.log.contains(QString("Invalid file suffix \"%1\"").arg(suffix)))
                << run.log.toStdString();
            EXPECT_EQ(filesOf(output.path()), before);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Two conversions into one output folder.

TEST_F(ImportFileSafetyTest, ASecondConversionWaitsForTheFirstOrFailsNamingIt)
{
    for (const char *type : {"Stanja", "Transakcije", "Razporeditve"}) {
        SCOPED_TRACE(type);
        const Files complete = reference({"--type", type});
        QDir(output.path()).removeRecursively();
        QDir().mkpath(output.path());
        QProcess *first = start({"--type", type});
        QProcess *second = start({"--type", type});
        for (const ToolRun &run : {finish(first), finish(second)}) {
            ASSERT_TRUE(run.finished);
            EXPECT_TRUE(run.exitCode <= 1 || run.log.contains("is in use by another conversion"))
                << run.log.toStdString();
        }
        EXPECT_EQ(filesOf(output.path()), complete);
    }

    // A conversion that keeps the folder beyond the wait: the second one writes nothing.
    QDir(output.path()).removeRecursively();
    QDir().mkpath(output.path());
    QLockFile holder(output.filePath("VornImport.lock"));
    ASSERT_TRUE(holder.tryLock(0));
    const Files held = filesOf(output.path());
    for (const char *type : {"Stanja", "Transakcije", "Razporeditve"}) {
        SCOPED_TRACE(type);
        const ToolRun run = convert({"--type", type}, 20000);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.log.contains(
            QString("The output folder %1 is in use by another conversion: %2, process %3 on %4")
                .arg(output.path(), QCoreApplication::applicationName())
                .arg(QCoreApplication::applicationPid())
                .arg(QSysInfo::machineHostName())))
            << run.log.toStdString();
        EXPECT_EQ(filesOf(output.path()), held);
    }
}

// ---------------------------------------------------------------------------------------------
// Empty and missing settings.

TEST_F(ImportFileSafetyTest, EmptyFolderSettingsAndAMissingSettingsFileFailAtOnce)
{
    const QString settings = program.filePath("VornImport.ini");
    const QString absent = program.filePath("absent");
    struct Case
    {
        QString inputFolder;
        QString outputFolder;
        QStringList options;
        QString message;
    };
    const Case cases[] = {
        {input.path(),
         "",
         {},
         "No output folder is set (IzhodniImenik in section Nastavitve of " + settings + ")."},
        {"",
         output.path(),
         {},
         "No input folder is set (VhodniImenik in section Nastavitve of " + settings + ")."},
        {input.path(), absent, {}, "The output folder \"" + absent + "\" is not an existing folder."},
        {input.path(),
         output.path(),
         {"--settings", absent + ".ini"},
         "The settings file " + absent + ".ini does not exist."},
    };
    const bool atRootBefore = QFile::exists("/stanje.txt");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        writeSettings(c.inputFolder, c.outputFolder);
        const ToolRun run = convert(QStringList{"--type", "Stanja"} + c.options);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.log.contains(c.message)) << run.log.toStdString();
        EXPECT_FALSE(run.log.contains("DoImport")) << "failed before the conversion";
        EXPECT_TRUE(filesOf(output.path()).empty());
        EXPECT_EQ(QFile::exists("/stanje.txt"), atRootBefore);
        EXPECT_FALSE(QFile::exists(absent));
    }
}

// ---------------------------------------------------------------------------------------------
// Files that are no regular files: each run has a time limit, as a hang would not end.

TEST_F(ImportFileSafetyTest, AFifoOrDeviceInPlaceOfAFileFailsAtOnce)
{
    struct Case
    {
        QString fifo; // made a FIFO; empty: none
        QStringList options;
    };
    const QString settingsFifo = program.filePath("fifo.ini");
    const Case cases[] = {
        {input.filePath("MemberAccountPositions.xml"), {"--type", "Stanja"}},
        {input.filePath("MemberTransactions.xml"), {"--type", "Transakcije"}},
        {input.filePath("MemberAllocations.xml"), {"--type", "Razporeditve"}},
        {program.filePath("tipi.ini"), {"--type", "Transakcije"}},
        {settingsFifo, {"--type", "Stanja", "--settings", settingsFifo}},
        {QString(), {"--type", "Stanja", "--settings", "/dev/zero"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString() + " " + c.fifo.toStdString());
        if (!c.fifo.isEmpty()) {
            QFile::remove(c.fifo);
            ASSERT_EQ(::mkfifo(QFile::encodeName(c.fifo).constData(), 0600), 0);
        }
        const ToolRun run = convert(c.options, 20000);
        ASSERT_TRUE(run.finished) << "hangs";
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.log.contains("Not a regular file")) << run.log.toStdString();
        // A positions conversion leaves the records built before its failure: none here.
        const Files left = filesOf(output.path());
        EXPECT_TRUE(left.empty() || (left == Files{{"stanje.txt", ""}}));
        QDir(output.path()).removeRecursively();
        QDir().mkpath(output.path());
        if (!c.fifo.isEmpty()) {
            QFile::remove(c.fifo);
            QFile::copy(kSamples + "/" + QFileInfo(c.fifo).fileName(), c.fifo); // none for the settings
        }
    }
}

} // namespace

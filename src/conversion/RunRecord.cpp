#include "conversion/RunRecord.h"

#include "conversion/OutputFiles.h"
#include "host/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

FolderSnapshot::FolderSnapshot(const QString &folder) : m_folder(folder), m_files(read(folder)) {}

QHash<QString, FolderSnapshot::Stamp> FolderSnapshot::read(const QString &folder)
{
    QHash<QString, Stamp> files;
    if (folder.isEmpty())
        return files;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        struct stat status
        {
        };
        if (::stat(QFile::encodeName(joinPath(folder, name)).constData(), &status) != 0)
            continue;
        files.insert(name, {quint64(status.st_ino),
                            qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
                            qint64(status.st_size)});
    }
    return files;
}

QStringList FolderSnapshot::changedFiles() const
{
    static const QStringList ignored{QStringLiteral("VornImport.lock"), QStringLiteral("tempTime.txt")};
    QStringList changed;
    const QHash<QString, Stamp> now = read(m_folder);
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (ignored.contains(it.key()))
            continue;
        const auto before = m_files.constFind(it.key());
        if (before == m_files.cend() || !(before.value() == it.value()))
            changed << joinPath(m_folder, it.key());
    }
    changed.sort();
    return changed;
}

ImportOutcome DoImportRecorded(const ImportRequest &request, Messenger &messenger, JournalEntry &entry,
                               const DispatchTable &table)
{
    const FolderSnapshot before(request.OutputFolder);
    const ImportOutcome outcome = DoImport(request, messenger, table);
    if (outcome.result == ImportResult::FetchedPathRecorded)
        return outcome;
    // The stored report the converter read, when it lies under the operation's name.
    const QString suffix = request.FileSuffix.isEmpty() ? QString() : u'_' + request.FileSuffix;
    const QString base = request.name.section(u'.', 0, 0);
    const QString report = joinPath(request.InputFolder, base + suffix + QStringLiteral(".xml"));
    if (entry.stored.isEmpty() && QFileInfo(report).isFile())
        entry.stored << DescribeFile(report, false);
    for (const QString &path : before.changedFiles())
        entry.written << DescribeFile(path, true);
    entry.missingSecurities = int(outcome.message.count(QStringLiteral("Manjka VP za ISIN:")));
    switch (outcome.result) {
    case ImportResult::Succeeded:
        entry.succeeded = true;
        break;
    case ImportResult::NoConverter:
        entry.succeeded = true;
        entry.result = QStringLiteral("The report type has no conversion; nothing was converted.");
        return outcome;
    case ImportResult::MissingSecurities:
    case ImportResult::ConversionFailed:
    case ImportResult::DispatchFailed:
    case ImportResult::FetchedPathRecorded:
        entry.succeeded = false;
        break;
    }
    entry.result = outcome.message.trimmed();
    return outcome;
}

RunJournal JournalOf(const Settings &settings)
{
    return RunJournal(settings.JournalPath, settings.JournalMaxBytes);
}

void FinishRun(const JournalEntry &entry, const RunJournal &journal,
               const std::function<void(const QString &line)> &report)
{
    if (entry.action.isEmpty())
        return;
    report(RunSummaryLine(entry));
    const QString failure = journal.append(entry);
    if (!failure.isEmpty())
        report(failure);
}

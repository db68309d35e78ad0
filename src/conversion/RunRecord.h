#pragma once

#include "common/RunJournal.h"
#include "conversion/ImportDispatch.h"

#include <functional>
#include <QHash>
#include <QString>
#include <QStringList>

struct Settings;

// The files of a folder as they were at one moment, to tell afterwards which ones a run wrote.
class FolderSnapshot
{
public:
    explicit FolderSnapshot(const QString &folder);

    // The files created or replaced since the snapshot, sorted by name (the lock and the clock probe of a
    // conversion left out).
    QStringList changedFiles() const;

private:
    struct Stamp
    {
        quint64 inode = 0;
        qint64 modifiedNs = 0;
        qint64 size = 0;
        bool operator==(const Stamp &) const = default;
    };
    static QHash<QString, Stamp> read(const QString &folder);

    QString m_folder;
    QHash<QString, Stamp> m_files;
};

// Runs DoImport and notes in entry what the conversion did: the stored report it read (when none is noted
// yet and it lies under the operation's name), the import files written with their records and checksums, the
// securities not found, the result message and whether it succeeded.
ImportOutcome DoImportRecorded(const ImportRequest &request, Messenger &messenger, JournalEntry &entry,
                               const DispatchTable &table = standardDispatchTable());

// The journal the settings name (Dnevnik, DnevnikVelikost).
RunJournal JournalOf(const Settings &settings);

// Ends a run: its summary line goes to report, the entry into the journal; a journal that cannot be written
// is reported too and does not fail the run. Nothing happens for an entry without an action.
void FinishRun(const JournalEntry &entry, const RunJournal &journal,
               const std::function<void(const QString &line)> &report);

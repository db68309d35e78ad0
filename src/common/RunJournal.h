#pragma once

#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>

// One file a run stored or wrote, as the journal names it.
struct JournalFile
{
    QString path;
    qint64 size = -1;    // -1 when the file could not be read
    qint64 records = -1; // lines of an import file; -1 when not counted
    QString sha256;      // lower-case hexadecimal; empty when the file could not be read
};

// Size, SHA-256 and, when asked, the number of lines of a file on disk.
JournalFile DescribeFile(const QString &path, bool countRecords);

// What one fetch or conversion did: from the window, the request file or VornConvert.
struct JournalEntry
{
    QString program; // VornImport, VornConvert
    QString mode;    // window, request file, convert
    QString action;  // fetch, convert, fetch and convert; empty while nothing was attempted
    QString member;
    QString reportType;
    QDate dateFrom;
    QDate dateTo;
    QString url;                // without user name and password
    int httpStatus = 0;         // 0 when no answer arrived
    qint64 bytesReceived = -1;  // -1 when nothing was fetched
    QList<JournalFile> stored;  // the report's files in the input folder
    QList<JournalFile> written; // the import files and workbooks of the output folder
    int missingSecurities = 0;
    QString result; // the result text: the converter's message, the cause of a failure
    bool succeeded = false;

    // The object of the journal's line, with the time (UTC) and the operating-system user.
    QJsonObject toJson() const;
};

// The one line a run leaves in its log, on standard error of VornConvert: the stored report and its
// size, each file written with its records, the securities not found, or the failure.
QString RunSummaryLine(const JournalEntry &entry);

// The run journal: one JSON object per line, appended by every fetch and conversion. Each record is
// written with one write() while a lock on "<journal>.lock" is held, so that the lines of concurrent
// runs never mix; before a record would take the file past its size limit, the file becomes
// "<journal>.1" (the older ones ".2" to ".<keep>", the oldest dropped).
class RunJournal
{
public:
    static constexpr qint64 DefaultMaxBytes = 10 * 1024 * 1024;
    static constexpr int DefaultKeep = 3;

    // An empty path means DefaultPath(); a size limit below 1 means DefaultMaxBytes.
    explicit RunJournal(const QString &path = QString(), qint64 maxBytes = DefaultMaxBytes,
                        int keep = DefaultKeep);

    // $XDG_STATE_HOME/vornimport/journal.jsonl, by default ~/.local/state/vornimport/journal.jsonl.
    static QString DefaultPath();

    const QString &path() const { return m_path; }

    // Appends the entry's line; returns an empty text, or what went wrong (naming the journal file and
    // what to do), so that the caller logs it: a journal never fails a run.
    QString append(const JournalEntry &entry) const;

    // The last count records, oldest first, from the journal and its rotated files; lines that are no
    // JSON object are left out.
    QList<QJsonObject> lastRecords(int count) const;

private:
    QString m_path;
    qint64 m_maxBytes;
    int m_keep;
};

// The records as a table for people: time, program and mode, member, report, period, HTTP status,
// bytes, result.
QString FormatHistory(const QList<QJsonObject> &records);

#pragma once

#include "conversion/KeptSecurities.h"
#include "conversion/TypeTable.h"
#include "reports/XmlDocument.h"

#include <memory>
#include <optional>
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <string_view>
#include <vector>

class HostConnection;
class HostQuery;
class HostReadBatch;

// How a conversion ended, for callers that act on it (the headless converter's exit code).
enum class ConversionStatus
{
    NotRun,            // Convert did not run (the database could not be opened)
    Succeeded,         // the converter's OK text
    MissingSecurities, // complete, but the host lacks securities of the report
    Failed,            // an error stopped the conversion; the result is its message
};

// The records of an import file, already encoded, each kept with its CR LF in blocks of many
// records: a report of a million records costs a hundred allocations rather than a million.
class RecordLines
{
public:
    RecordLines() = default;
    RecordLines(std::initializer_list<QByteArrayView> lines);

    void append(QByteArrayView line);
    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // The file's bytes in order: each block holds whole lines.
    const std::vector<QByteArray> &blocks() const { return m_blocks; }

private:
    static constexpr qsizetype kBlockSize = 1 << 20;
    std::vector<QByteArray> m_blocks;
    qsizetype m_count = 0;
};

// What FindSecurityCode found for one record.
struct SecurityLookup
{
    QString code;  // the host's security code; empty when missing or after a database error
    QString error; // "Manjka VP za ISIN:<isin>" when the host lacks the security; the record then
                   // gets blanks in place of the code
};

// Base of every converter: turns one stored report into host import files and leaves a
// one-text result message. A converter is used once: created, given its parameters,
// Execute'd and Release'd.
class TVornConversion : private SecuritySource
{
public:
    // Reads the type table "tipi.ini" from the program folder; throws EFOpenError when it
    // cannot be read, so no converter exists without its table.
    explicit TVornConversion(const QString &programFolder);
    virtual ~TVornConversion();

    TVornConversion(const TVornConversion &) = delete;
    TVornConversion &operator=(const TVornConversion &) = delete;

    // Common parameters, set by the dispatch.
    QString Alias;
    QString UserName;
    QString Password;
    QString InputFolder;
    QString OutputFolder;
    bool PapirPoKotacijiSLO = false; // chooses the listing form of the security lookup
    QDateTime RunStartTime;          // files not older than this count as written by this run

    // Opens the host database, converts, closes the database. Raises only when the database
    // cannot be opened; every conversion error ends up in the result message instead.
    virtual void Execute(QString &result);

    // Writes OutputLines to OutputFileName when it is set (Windows-1250, CR LF after every
    // line, an empty list giving an empty file). Throws EFCreateError
    // "Cannot create file "<path>". <reason>" when the file cannot be created, EInOutError
    // "Cannot write file <path>: <reason>" when it cannot be written whole; the file of the
    // previous run then stays.
    void Release();

    ConversionStatus status() const { return m_status; }
    const TypeTable &typeTable() const { return m_typeTable; }

protected:
    // Empties the result text, converts and leaves the result message; catches its own errors.
    virtual void Convert(QString &result) = 0;

    void setStatus(ConversionStatus status) { m_status = status; }
    // The status of a conversion that ran to its end with the given missing-securities text:
    // a lookup that failed on a database error leaves records without their code, so it fails.
    ConversionStatus completedStatus(const QString &missingSecurities) const;

    void OpenDatabase(const QString &alias, const QString &userName, const QString &password);
    void CloseDatabase();

    // The host's security code of an ISIN at a date. A missing security is named once in
    // missingSecurities by a line of its own (a line break, "Manjka VP za ISIN:" and the ISIN;
    // an ISIN that only occurs inside another line is still named); a database error
    // appends a line break and its message instead, and the code stays empty. The ISIN is
    // bound as a parameter, never pasted into the statement. Results are kept per ISIN, date
    // and preference for the conversion (the host database does not change meanwhile), and
    // for an ISIN whose rows carry no end date, at every date; database errors are not kept,
    // so the next record asks again. The statements run in read batches (see HostReadBatch).
    SecurityLookup FindSecurityCode(const QString &isin, const QDate &date, bool preferTransaImport,
                                    QString &missingSecurities);
    // Starts bringing what FindSecurityCode keeps of the ISIN into the processor's cache, so
    // that a converter can read the record's other fields meanwhile; it changes nothing else.
    void prefetchSecurityCode(const QString &isin) const;
    void prefetchSecurityCode(std::string_view isin) const; // the ISIN in UTF-8

    // The Vrednost of the INISET row with the key; empty when there is none. Errors pass on.
    QString GetIniSetValue(const QString &key);

    QString OutputFileName;  // full path; set before reading so a failure leaves a partial file
    RecordLines OutputLines; // records, already encoded in Windows-1250, given without line ends
    TXMLDocument Document;   // the report; the converter sets its file name

private:
    // Runs the lookup statement; nullopt when the host lacks the security.
    std::optional<QString> securityCode(const QString &isin, const QDate &date,
                                        bool preferTransaImport) override;
    // The end dates of the rows of the ISIN that the lookup statement joins. A failure leaves
    // the spans unknown, so the statement decides, and reports its own errors, at every date.
    LookupDateSpans endDates(const QString &isin) override;

    std::unique_ptr<HostConnection> Database;
    std::unique_ptr<HostQuery> Query;
    std::unique_ptr<HostQuery> m_endDatesQuery;
    std::unique_ptr<HostReadBatch> m_readBatch;
    KeptSecurities m_keptSecurities;
    // Adds "Manjka VP za ISIN:" and the ISIN as a line to the missing-securities text unless a
    // line names it already.
    void nameMissingIsin(QString &missingSecurities, const QString &isin);

    // The ISINs that lines of the missing-securities text name, read up to m_missingTextSize.
    // The text only grows during a conversion; a different or shortened text is read afresh.
    const QString *m_missingText = nullptr;
    qsizetype m_missingTextSize = 0;
    IsinSet m_namedIsins;
    bool m_lookupFailed = false;
    TypeTable m_typeTable;
    ConversionStatus m_status = ConversionStatus::NotRun;
};

#pragma once

#include "conversion/TypeTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// How a conversion ended, for callers that act on it (the headless converter's exit code).
enum class ConversionStatus
{
    NotRun,            // Convert did not run (the database could not be opened)
    Succeeded,         // the converter's OK text
    MissingSecurities, // complete, but the host lacks securities of the report
    Failed,            // an error stopped the conversion; the result is its message
};

// Base of every converter: turns one stored report into host import files and leaves a
// one-text result message. A converter is used once: created, given its parameters,
// Execute'd and Release'd.
class TVornConversion
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
    // "Cannot create file "<path>". <reason>" when the file cannot be written.
    void Release();

    ConversionStatus status() const { return m_status; }
    const QString &outputFileName() const { return OutputFileName; }
    const QList<QByteArray> &outputLines() const { return OutputLines; }
    const TypeTable &typeTable() const { return m_typeTable; }

protected:
    // Empties the result text, converts and leaves the result message; catches its own errors.
    virtual void Convert(QString &result) = 0;

    void setStatus(ConversionStatus status) { m_status = status; }

    QString OutputFileName;        // full path; set before reading so a failure leaves a partial file
    QList<QByteArray> OutputLines; // records, already encoded in Windows-1250, without line ends

private:
    TypeTable m_typeTable;
    ConversionStatus m_status = ConversionStatus::NotRun;
};

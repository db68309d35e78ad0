#pragma once

#include "common/Exception.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

class ElHTTPSClient;
class Messenger;

// The answer grew past the body limit: the fetch ends before it exhausts memory.
VORN_DECLARE_EXCEPTION(EAnswerTooLarge, Exception)
// An archive entry name or an announced file name that would lead out of the input folder.
VORN_DECLARE_EXCEPTION(EUnsafeFileName, Exception)
// An archive past one of the answer limits: nothing of it is stored.
VORN_DECLARE_EXCEPTION(EArchiveLimit, Exception)

// What one answer may take, so that a hostile or broken answer cannot exhaust memory or disk. The
// depository's archives hold one report of at most a few hundred MB.
struct AnswerLimits
{
    qint64 entrySize = qint64(2048) * 1024 * 1024; // inflated size of one archive entry
    int entries = 100;                             // entries of one archive
    qint64 errorPage = 1024 * 1024;                // an error page kept for showing
};

// What the handling of an answer asks of the window.
class ResponseRecipient
{
public:
    virtual ~ResponseRecipient() = default;

    // Whether the "Debug" box is ticked.
    virtual bool debugging() const = 0;
    // Appends raw text to the end of the log, not as a line of its own.
    virtual void appendToLog(const QString &text) = 0;
    // Shows the depository's error page and brings its page to front.
    virtual void showErrorPage(const QString &html) = 0;
    virtual void showLogPage() = 0;
    // The conversion of a stored report (DoImport) and the daily bond values workbook (XMLToXLS).
    virtual void importReport(const QString &receivedFileName) = 0;
    virtual void exportWorkbook(const QString &receivedFileName) = 0;
};

// What becomes of a stored report, by the file name its answer announced.
enum class HandOff
{
    Workbook,
    StoredOnly,
    Import
};
HandOff HandOffFor(const QString &receivedFileName);

// The file name of a Content-Disposition header: what follows filename=" (exact, case-sensitive) up to
// the next double quote; empty without one.
QString AnnouncedFileName(const QStringList &headerLines);

// Handles one answer of the depository at a time, through the HTTPS client's events: takes the announced
// file name from the headers, collects the body byte for byte, and at the end of the document shows an
// error page (no file name) or stores the archive's entries in the input folder, each under a temporary
// name renamed into place, and hands the report on. Failures of storing and handing on are shown in a
// message box and end the answer's handling; other failures leave the event and so the fetch.
class ResponseHandler
{
public:
    static constexpr qint64 DefaultBodyLimit = qint64(2) * 1024 * 1024 * 1024;
    // While debugging, at most this much of each answer goes into the log.
    static constexpr qint64 DebugBytesPerAnswer = 64 * 1024;

    ResponseHandler(ResponseRecipient &recipient, Messenger &messenger, qint64 bodyLimit = DefaultBodyLimit);

    // Routes the client's answer events to this handler.
    void attachTo(ElHTTPSClient &client);
    // Where the next answer's archive is stored.
    void setInputFolder(const QString &folder) { m_inputFolder = folder; }
    void setLimits(const AnswerLimits &limits) { m_limits = limits; }

    void ReceivingHeaders(const QStringList &headerLines);
    void DocumentBegin();
    void Data(const char *buffer, qsizetype size);
    void DocumentEnd();

    const QString &ReceivedFileName() const { return m_receivedFileName; }
    const QByteArray &ReceivedBody() const { return m_receivedBody; }
    // The last answer's HTTP status (0 before one arrived) and the files its archive left in the input
    // folder.
    int HttpStatus() const;
    const QStringList &StoredFiles() const { return m_storedFiles; }

private:
    void storeArchive();
    void storeEntries(const class TZipFile &zip);
    void checkArchive(const class TZipFile &zip) const;
    void handOn();

    ResponseRecipient &m_recipient;
    Messenger &m_messenger;
    qint64 m_bodyLimit;
    AnswerLimits m_limits;
    QString m_inputFolder;
    QString m_receivedFileName;
    QByteArray m_receivedBody;
    qint64 m_announcedLength = -1;
    qint64 m_debugBytesShown = 0;
    qint64 m_debugBytesLeftOut = 0;
    QStringDecoder m_debugDecoder;
    QStringList m_headerLines;
    QStringList m_storedFiles;
};

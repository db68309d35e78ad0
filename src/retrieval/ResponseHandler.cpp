#include "retrieval/ResponseHandler.h"

#include "common/FileAccess.h"
#include "common/Messenger.h"
#include "retrieval/AnswerCause.h"
#include "retrieval/ZipFile.h"
#include "transport/ElHTTPSClient.h"

#include <algorithm>
#include <QFile>

namespace {

// A failure of storing one entry: the original class with the target path appended to its message.
class EntryFailure : public Exception
{
public:
    EntryFailure(const std::exception &cause, const QString &target)
        : Exception(exceptionMessage(cause) + QStringLiteral(" (") + target + u')'),
          m_className(exceptionClassName(cause))
    {
    }
    QString className() const override { return m_className; }

private:
    QString m_className;
};

bool hasControlCharacter(const QString &name)
{
    return std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x20; });
}

// An entry name stays inside the input folder when it is relative, uses "/" only and has no ".." part.
bool isSafeEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'/') || name.contains(u'\\') || name.contains(u':') ||
        hasControlCharacter(name))
        return false;
    const QStringList parts = name.split(u'/');
    return !parts.contains(QStringLiteral(".."));
}

// The announced name becomes a file name of the input folder in the hand-off.
bool isSafeAnnouncedName(const QString &name)
{
    return !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QStringLiteral("..")) &&
           !name.contains(u':') && !hasControlCharacter(name);
}

QString entryTarget(const QString &inputFolder, const QString &entryName)
{
    // A separator is always inserted, as the host's input folder setting may or may not end with one.
    return inputFolder + u'/' + entryName;
}

void writeEntry(const QString &target, const char *data, qint64 size)
{
    // The entry appears under its name whole or not at all, as a new file of the input folder: a
    // read-only file or a link at its name is replaced, never written through.
    FolderSaveFile file(target);
    if (!file.open())
        throw EFCreateError(file.cannotCreateMessage());
    if (!file.write(QByteArrayView(data, size)) || !file.commit())
        throw EInOutError(file.cannotWriteMessage());
}

QString errorPageTooLarge(qint64 limit)
{
    return QStringLiteral(
               "The depository answered with an error page of more than %1 bytes, the limit of "
               "MaksVelikostNapakeKB in the settings file; the fetch was ended and the page is not "
               "shown.")
        .arg(limit);
}

qint64 contentLength(const QStringList &headerLines)
{
    for (const QString &line : headerLines) {
        if (line.startsWith(QLatin1String("Content-Length:"), Qt::CaseInsensitive)) {
            bool ok = false;
            const qint64 length = line.mid(15).trimmed().toLongLong(&ok);
            return ok ? length : -1;
        }
    }
    return -1;
}

} // namespace

HandOff HandOffFor(const QString &receivedFileName)
{
    static const QStringList workbook{QStringLiteral("DailyBondValues.zip"),
                                      QStringLiteral("DailyBondValues.xml")};
    static const QStringList storedOnly{QStringLiteral("PublicSharebookTop50All.zip"),
                                        QStringLiteral("PublicSharebookTop50All.xml"),
                                        QStringLiteral("MemberOffMarketTransactionsAll.zip"),
                                        QStringLiteral("MemberOffMarketTransactionsAll.xml"),
                                        QStringLiteral("MemberCurrentAccounts4BTS.zip"),
                                        QStringLiteral("MemberCurrentAccounts4BTS.xml"),
                                        QStringLiteral("SharebookTXT.zip")};
    if (workbook.contains(receivedFileName))
        return HandOff::Workbook;
    if (storedOnly.contains(receivedFileName) || receivedFileName.endsWith(QLatin1String("_CRVP.txt")))
        return HandOff::StoredOnly;
    return HandOff::Import;
}

QString AnnouncedFileName(const QStringList &headerLines)
{
    QString text;
    for (const QString &line : headerLines)
        text += line + QStringLiteral("\r\n");
    static const QString marker = QStringLiteral("filename=\"");
    const qsizetype start = text.indexOf(marker);
    if (start < 0)
        return {};
    const qsizetype nameStart = start + marker.size();
    const qsizetype end = text.indexOf(u'"', nameStart);
    return end < 0 ? QString() : text.mid(nameStart, end - nameStart);
}

ResponseHandler::ResponseHandler(ResponseRecipient &recipient, Messenger &messenger, qint64 bodyLimit)
    : m_recipient(recipient), m_messenger(messenger), m_bodyLimit(bodyLimit)
{
}

void ResponseHandler::attachTo(ElHTTPSClient &client)
{
    client.onReceivingHeaders = [this](const QStringList &lines) { ReceivingHeaders(lines); };
    client.onDocumentBegin = [this] { DocumentBegin(); };
    client.onData = [this](const char *buffer, qsizetype size) { Data(buffer, size); };
    client.onDocumentEnd = [this] { DocumentEnd(); };
}

void ResponseHandler::ReceivingHeaders(const QStringList &headerLines)
{
    m_messenger.debugLog(QStringLiteral("--- header begin ---"));
    for (const QString &line : headerLines)
        m_messenger.debugLog(printable(line));
    m_messenger.debugLog(QStringLiteral("--- header end ---"));
    m_messenger.debugLog(QString());
    m_receivedFileName = AnnouncedFileName(headerLines);
    m_headerLines = headerLines;
    m_announcedLength = contentLength(headerLines);
}

void ResponseHandler::DocumentBegin()
{
    m_receivedBody = QByteArray();
    m_storedFiles.clear();
    m_debugBytesShown = 0;
    m_debugBytesLeftOut = 0;
    m_debugDecoder = QStringDecoder(QStringDecoder::Utf8);
    if (m_receivedFileName.isEmpty() && m_announcedLength > m_limits.errorPage)
        throw EAnswerTooLarge(errorPageTooLarge(m_limits.errorPage));
    if (m_announcedLength > m_bodyLimit)
        throw EAnswerTooLarge(
            QStringLiteral("The answer announces %1 bytes, more than the limit of %2 bytes; "
                           "the fetch was ended.")
                .arg(m_announcedLength)
                .arg(m_bodyLimit));
    // One allocation for an announced body instead of repeated growth.
    if (m_announcedLength > 0)
        m_receivedBody.reserve(qsizetype(m_announcedLength));
    m_messenger.debugLog(QStringLiteral("--- document begin ---"));
}

void ResponseHandler::Data(const char *buffer, qsizetype size)
{
    if (m_receivedBody.size() + size > m_bodyLimit)
        throw EAnswerTooLarge(QStringLiteral("The answer exceeds the limit of %1 bytes; the fetch was ended.")
                                  .arg(m_bodyLimit));
    if (m_receivedFileName.isEmpty() && m_receivedBody.size() + size > m_limits.errorPage)
        throw EAnswerTooLarge(errorPageTooLarge(m_limits.errorPage));
    m_receivedBody.append(buffer, size);
    // An archive's bytes help nobody in a text log: DocumentEnd shows its size and first bytes instead.
    if (!m_recipient.debugging() || !m_receivedFileName.isEmpty())
        return;
    // A whole archive in the log would freeze the window: only the answer's first bytes are shown.
    const qint64 shown = qMin<qint64>(size, DebugBytesPerAnswer - m_debugBytesShown);
    if (shown > 0)
        m_recipient.appendToLog(m_debugDecoder.decode(QByteArrayView(buffer, qsizetype(shown))));
    m_debugBytesShown += shown;
    m_debugBytesLeftOut += size - shown;
}

void ResponseHandler::DocumentEnd()
{
    if (m_debugBytesLeftOut > 0)
        m_messenger.debugLog(
            QStringLiteral("(%1 further bytes of the answer are not shown)").arg(m_debugBytesLeftOut));
    if (!m_receivedFileName.isEmpty() && !m_receivedBody.isEmpty() && m_recipient.debugging())
        m_messenger.debugLog(ArchiveExcerpt(m_receivedBody));
    m_messenger.debugLog(QStringLiteral("--- document end ---"));
    m_messenger.debugLog(QString());
    m_messenger.debugLog(QString());
    // Why no report came, in the log of both modes (and so in the request file's messages).
    if (m_receivedFileName.isEmpty() && (!m_receivedBody.isEmpty() || HttpStatus() >= 400))
        m_messenger.log(NoReportLine(m_headerLines, m_receivedBody));
    if (m_receivedBody.isEmpty())
        return;
    if (m_receivedFileName.isEmpty()) {
        m_recipient.showErrorPage(QString::fromUtf8(m_receivedBody));
        return;
    }
    storeArchive();
}

void ResponseHandler::storeArchive()
{
    m_recipient.showLogPage();
    m_messenger.debugLog(QStringLiteral("--- zip catalog start ---"));
    TZipFile zip;
    zip.ReadArchive(m_receivedBody);
    for (int i = 0; i < zip.EntryCount(); ++i)
        m_messenger.debugLog(printable(QString::fromUtf8(zip.EntryName(i))).replace(u'/', u'\\'));
    m_messenger.debugLog(QStringLiteral("--- zip catalog end ---"));
    m_messenger.debugLog(QString());
    if (zip.EntryCount() == 0)
        return;
    try {
        storeEntries(zip);
        handOn();
    } catch (const std::exception &error) {
        m_messenger.showMessage(FetchFailureMessage(error));
    }
}

void ResponseHandler::storeEntries(const TZipFile &zip)
{
    if (!isSafeAnnouncedName(m_receivedFileName))
        throw EUnsafeFileName(QStringLiteral("The announced file name \"%1\" is no plain file name; nothing "
                                             "was stored (%2)")
                                  .arg(printable(m_receivedFileName),
                                       printable(entryTarget(m_inputFolder, m_receivedFileName))));
    // Every name is checked before anything is written, so that a hostile archive leaves no file behind.
    for (int i = 0; i < zip.EntryCount(); ++i) {
        const QString name = QString::fromUtf8(zip.EntryName(i));
        if (!isSafeEntryName(name))
            throw EUnsafeFileName(
                QStringLiteral("The archive entry \"%1\" would be written outside the input "
                               "folder; nothing was stored (%2)")
                    .arg(printable(name), printable(entryTarget(m_inputFolder, name))));
    }
    checkArchive(zip);
    m_messenger.debugLog(QStringLiteral("--- zip content start ---"));
    for (int i = 0; i < zip.EntryCount(); ++i) {
        const QString name = QString::fromUtf8(zip.EntryName(i));
        const QString target = entryTarget(m_inputFolder, name);
        try {
            const QByteArray content = zip.ExtractEntry(i);
            // The depository may put a byte-order mark or other bytes before the XML declaration.
            qsizetype start = 0;
            if (!name.endsWith(QLatin1String("_CRVP.txt")))
                start = qMax<qsizetype>(0, content.indexOf("<?xml"));
            writeEntry(target, content.constData() + start, content.size() - start);
            m_storedFiles << target;
        } catch (const std::exception &error) {
            throw EntryFailure(error, target);
        }
    }
}

void ResponseHandler::checkArchive(const TZipFile &zip) const
{
    if (zip.EntryCount() > m_limits.entries)
        throw EArchiveLimit(
            QStringLiteral("The archive holds %1 entries, more than the limit of %2 "
                           "(MaksSteviloDatotek in the settings file); nothing was stored (%3)")
                .arg(zip.EntryCount())
                .arg(m_limits.entries)
                .arg(m_inputFolder));
    // The sizes the entries claim, before anything is inflated: inflating never goes past the claim.
    for (const TLocalFile &entry : zip.entries()) {
        if (qint64(entry.uncompressedSize) > m_limits.entrySize)
            throw EArchiveLimit(
                QStringLiteral(
                    "The archive entry \"%1\" would inflate to %2 bytes, more than the limit of "
                    "%3 bytes (MaksVelikostDatotekeMB in the settings file); nothing was stored (%4)")
                    .arg(printable(QString::fromUtf8(entry.fileName)))
                    .arg(entry.uncompressedSize)
                    .arg(m_limits.entrySize)
                    .arg(printable(entryTarget(m_inputFolder, QString::fromUtf8(entry.fileName)))));
    }
}

int ResponseHandler::HttpStatus() const
{
    return HttpStatusOf(m_headerLines);
}

void ResponseHandler::handOn()
{
    switch (HandOffFor(m_receivedFileName)) {
    case HandOff::Workbook:
        m_recipient.exportWorkbook(m_receivedFileName);
        break;
    case HandOff::StoredOnly:
        break;
    case HandOff::Import:
        m_recipient.importReport(m_receivedFileName);
        break;
    }
}

// Fuzz target: a whole answer of the depository, header lines and body split at the first empty
// line as on the wire, through the response handling into an input folder. Whatever the header's
// file name and the archive's entry names say, nothing may be written outside that folder, and the
// report handed on is the one the header announced.
#include "common/Messenger.h"
#include "retrieval/ResponseHandler.h"

#include <cstddef>
#include <cstdint>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

namespace {

class SilentMessenger : public Messenger
{
public:
    void log(const QString &) override {}
    void debugLog(const QString &) override {}
    void showMessage(const QString &) override {}
};

class HandOffRecorder : public ResponseRecipient
{
public:
    bool debugging() const override { return true; }
    void appendToLog(const QString &) override {}
    void showErrorPage(const QString &) override {}
    void showLogPage() override {}
    void importReport(const QString &receivedFileName) override { handedOn = receivedFileName; }
    void exportWorkbook(const QString &receivedFileName) override { handedOn = receivedFileName; }

    QString handedOn;
};

// Everything below root that is neither the input folder nor inside it.
bool somethingOutside(const QString &root, const QString &inputFolder)
{
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path != inputFolder && !path.startsWith(inputFolder + u'/'))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QTemporaryDir root;
    const QString inputFolder = root.filePath(QStringLiteral("input"));
    QDir(inputFolder).removeRecursively();
    QDir().mkpath(inputFolder);

    const QByteArray answer(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype headerEnd = answer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        headerEnd = answer.size();
    const QStringList headerLines = QString::fromLatin1(answer.left(headerEnd)).split(QStringLiteral("\r\n"));
    const QByteArray body = answer.mid(headerEnd + 4);

    SilentMessenger messenger;
    HandOffRecorder recipient;
    // A small limit keeps a hostile Content-Length from reserving gigabytes on every run.
    ResponseHandler handler(recipient, messenger, 1024 * 1024);
    handler.setInputFolder(inputFolder);
    try {
        handler.ReceivingHeaders(headerLines);
        handler.DocumentBegin();
        // Two pieces, as the transport hands the body over in the sizes it receives.
        handler.Data(body.constData(), body.size() / 2);
        handler.Data(body.constData() + body.size() / 2, body.size() - body.size() / 2);
        handler.DocumentEnd();
    } catch (const Exception &) {
        // An answer past the limit or not an archive ends the fetch, which is expected.
    }

    if (somethingOutside(root.path(), inputFolder))
        __builtin_trap();
    if (!recipient.handedOn.isEmpty() &&
        (recipient.handedOn != handler.ReceivedFileName() || recipient.handedOn.contains(u'/')))
        __builtin_trap();
    return 0;
}

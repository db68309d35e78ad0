#include "reports/XmlDocument.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "reports/XmlEncoding.h"
#include "reports/XmlNode.h"
#include "reports/XmlWellFormedCheck.h"

#include <algorithm>
#include <cerrno>
#include <QFile>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Element text stays inside the element node, which roughly halves the memory of a report.
// Comments and processing instructions are kept so that an element holding one is not read as
// a plain text element. Document type declarations are parsed only to be refused.
constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_embed_pcdata | pugi::parse_comments |
                                  pugi::parse_pi | pugi::parse_doctype;

// The well-formedness check of a stored report on a thread of its own, while the parser builds
// the DOM (which takes the text apart in place, so the check cannot read that text). It reads
// the file in pieces through the handle the document reads it with, so that both see the same
// file and the check adds no more than a piece to the memory of a load.
class BackgroundFileCheck
{
public:
    // Checks the first `size` bytes of the file open under `handle`: those the document reads.
    BackgroundFileCheck(int handle, qint64 size)
        : m_thread([this, handle, size](std::stop_token stop) { run(handle, size, stop); })
    {
    }

    void cancel() { m_thread.request_stop(); }

    // Waits for the check; null when it could not read the file to its end.
    const XmlWellFormedCheck *result()
    {
        m_thread.join();
        return m_check.failed() || m_check.finished() ? &m_check : nullptr;
    }

private:
    void run(int handle, qint64 size, const std::stop_token &stop)
    {
        try {
            // A piece of 4 MB, or the whole file when it is smaller, and a byte for the closing zero.
            std::vector<char> buffer(size_t(std::min<qint64>(4 << 20, size)) + 1);
            size_t filled = 0;
            qint64 offset = 0;
            while (!stop.stop_requested()) {
                const size_t wanted =
                    size_t(std::min<qint64>(qint64(buffer.size() - 1 - filled), size - offset));
                const ssize_t got =
                    wanted ? ::pread(handle, buffer.data() + filled, wanted, off_t(offset)) : 0;
                if (got < 0 && errno == EINTR)
                    continue;
                if (got < 0 || (got == 0 && offset < size))
                    return;
                offset += got;
                filled += size_t(got);
                const bool last = offset == size;
                if (!last && filled < buffer.size() - 1)
                    continue;
                buffer[filled] = 0;
                const size_t consumed = m_check.feed(buffer.data(), filled, last);
                if (last || m_check.failed())
                    return;
                std::copy(buffer.begin() + qsizetype(consumed), buffer.begin() + qsizetype(filled),
                          buffer.begin());
                filled -= consumed;
                // A construct larger than the piece (a long comment, say) gets more room.
                if (filled == buffer.size() - 1)
                    buffer.resize(2 * filled + 1);
            }
        } catch (const std::bad_alloc &) {
            // Left unfinished: the load then fails as for a file it cannot read.
        }
    }

    XmlWellFormedCheck m_check;
    std::jthread m_thread; // last: it starts when everything else exists and stops first
};

void openReport(QFile &file, const QString &name)
{
    file.setFileName(name);
    // Only a regular file: a FIFO would block the opening, a device feed the reading without end.
    const QString reason =
        name.isEmpty() ? QStringLiteral("No file name specified") : openRegularFileForReading(file);
    if (!reason.isEmpty())
        throw EXMLDocError(QStringLiteral("Cannot open report file \"%1\": %2").arg(name, reason));
}

QByteArray readReport(QFile &file, const QString &name)
{
    // One allocation of the exact size: reports are large and the peak memory counts.
    QByteArray bytes(file.size(), Qt::Uninitialized);
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        throw EXMLDocError(
            QStringLiteral("Cannot read report file \"%1\": %2").arg(name, file.errorString()));
    return bytes;
}

} // namespace

TXMLDocument::TXMLDocument() = default;
TXMLDocument::~TXMLDocument() = default;

void TXMLDocument::setFileName(const QString &fileName)
{
    m_fileName = fileName;
}

QByteArray TXMLDocument::readFile() const
{
    QFile file;
    openReport(file, m_fileName);
    return readReport(file, m_fileName);
}

QByteArray TXMLDocument::readText() const
{
    return XmlEncoding::toUtf8(readFile(), m_fileName);
}

void TXMLDocument::LoadFromFile()
{
    m_roots.clear();
    m_document.reset();
    m_loaded = false;
    QFile file;
    openReport(file, m_fileName);
    BackgroundFileCheck fileCheck(file.handle(), file.size());
    qsizetype storedFrom = -1;
    m_text = XmlEncoding::toUtf8(readReport(file, m_fileName), m_fileName, &storedFrom);
    // Converted text is checked here, before the parser takes it apart; the check of the
    // stored bytes would see another encoding.
    XmlWellFormedCheck textCheck;
    if (storedFrom < 0) {
        fileCheck.cancel();
        textCheck.feed(m_text.constData(), size_t(m_text.size()), true);
    }
    const pugi::xml_parse_result result =
        m_document.load_buffer_inplace(m_text.data(), m_text.size(), parseOptions, pugi::encoding_utf8);
    const XmlWellFormedCheck *check = storedFrom < 0 ? &textCheck : fileCheck.result();
    if (!check) {
        m_document.reset();
        m_text.clear();
        throw EXMLDocError(QStringLiteral("Cannot read report file \"%1\"").arg(m_fileName));
    }
    if (!result)
        failLoad(QString::fromUtf8(result.description()), result.offset);
    for (pugi::xml_node node = m_document.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_doctype) {
            m_document.reset();
            m_text.clear();
            throw EXMLDocError(
                QStringLiteral("Report file \"%1\" holds a document type definition, which is not allowed")
                    .arg(m_fileName));
        }
    }
    // The parser tolerates much that is not XML (a bare "&", an undeclared entity, a duplicate
    // attribute, text after the document element, ...); the check refuses all of it.
    if (check->failed())
        failLoad(check->fault(),
                 std::max<qsizetype>(0, check->faultOffset() - std::max<qsizetype>(0, storedFrom)));
    m_loaded = true;
}

void TXMLDocument::failLoad(const QString &description, ptrdiff_t offset)
{
    m_document.reset();
    // Parsing in place has overwritten parts of the text; read it again to name the position.
    m_text = readText();
    const QString position = XmlEncoding::positionText(m_text.constData(), m_text.size(), offset);
    m_text.clear();
    throw EXMLDocError(QStringLiteral("Report file \"%1\" is not well-formed XML: %2 (%3)")
                           .arg(m_fileName, description, position));
}

pugi::xml_node TXMLDocument::DocumentElement()
{
    if (!m_loaded)
        LoadFromFile();
    return m_document.document_element();
}

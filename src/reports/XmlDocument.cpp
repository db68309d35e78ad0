#include "reports/XmlDocument.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "reports/XmlEncoding.h"
#include "reports/XmlNode.h"
#include "reports/XmlWellFormedCheck.h"

#include <QFile>
#include <utility>

namespace {

// Element text stays inside the element node, which roughly halves the memory of a report.
// Comments and processing instructions are kept so that an element holding one is not read as
// a plain text element. Document type declarations are parsed only to be refused.
constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_embed_pcdata | pugi::parse_comments |
                                  pugi::parse_pi | pugi::parse_doctype;

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
    bool converted = false;
    m_text = XmlEncoding::toUnvalidatedUtf8(readReport(file, m_fileName), m_fileName, converted);
    // The check reads the text before the parser takes it apart in place: one read of the file
    // serves both. Text that it accepts is valid UTF-8, so stored text is validated on its own
    // only to name what the check refused.
    XmlWellFormedCheck check;
    check.feed(m_text.constData(), size_t(m_text.size()), true);
    if (check.failed() && !converted)
        XmlEncoding::requireValidUtf8(m_text, m_fileName);
    const pugi::xml_parse_result result =
        m_document.load_buffer_inplace(m_text.data(), m_text.size(), parseOptions, pugi::encoding_utf8);
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
    if (check.failed())
        failLoad(check.fault(), check.faultOffset());
    m_loaded = true;
}

void TXMLDocument::loadCheckedText(QByteArray text)
{
    releaseText();
    m_text = std::move(text);
    if (!m_document.load_buffer_inplace(m_text.data(), m_text.size(), parseOptions, pugi::encoding_utf8)) {
        releaseText();
        failChanged();
    }
    m_loaded = true;
}

QByteArray TXMLDocument::releaseText()
{
    m_roots.clear();
    m_document.reset();
    m_loaded = false;
    return std::exchange(m_text, QByteArray());
}

void TXMLDocument::failChanged() const
{
    throw EXMLDocError(
        QStringLiteral("Report file \"%1\" changed while it was read; convert it again").arg(m_fileName));
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

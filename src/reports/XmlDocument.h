#pragma once

#include <memory>
#include <pugixml.hpp>
#include <QByteArray>
#include <QString>
#include <vector>

class TXMLNode;

// One stored report file, parsed once and then read as often as needed. A document is used for
// one report; the node objects bound to it live as long as the document.
//
// Loading refuses what a report never holds and a hostile file might: a document type
// definition (so no entity is ever expanded and no external file is read), text that is not
// well-formed, and text that cannot be converted to Unicode exactly. Failures raise EXMLDocError
// with a message that names the file and, for a parse error, the line and column.
class TXMLDocument
{
public:
    TXMLDocument();
    ~TXMLDocument();
    TXMLDocument(const TXMLDocument &) = delete;
    TXMLDocument &operator=(const TXMLDocument &) = delete;

    QString FileName() const { return m_fileName; }
    void setFileName(const QString &fileName);

    bool Active() const { return m_loaded; }
    void LoadFromFile();
    // Parses text of the file that XmlWellFormedCheck has accepted, in place. A parse error
    // means that the file changed since it was checked, and raises EXMLDocError.
    void loadCheckedText(QByteArray text);
    // Empties the document and hands its text back, so that the next text can use its room.
    QByteArray releaseText();
    // Raises EXMLDocError for a file that changed between two reads of its parts.
    [[noreturn]] void failChanged() const;
    // Loads from the file name when not loaded yet; the null node for a document without element.
    pugi::xml_node DocumentElement();

    // The root node object of type Root bound to this document, created by `create` on first use.
    template<class Root, class Create> Root *boundRoot(Create create)
    {
        for (const auto &root : m_roots)
            if (auto *bound = dynamic_cast<Root *>(root.get()))
                return bound;
        auto root = create();
        Root *result = root.get();
        m_roots.push_back(std::move(root));
        return result;
    }

private:
    QByteArray readFile() const;
    QByteArray readText() const;
    [[noreturn]] void failLoad(const QString &description, ptrdiff_t offset);

    QString m_fileName;
    QByteArray m_text; // the parsed text; the parser keeps its strings inside it
    pugi::xml_document m_document;
    bool m_loaded = false;
    std::vector<std::unique_ptr<TXMLNode>> m_roots;
};

#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes of a stored report into UTF-8 text for the parser, which reads UTF-8 only.
// The encoding comes from a byte-order mark (UTF-8, UTF-16, UTF-32), else from the encoding the
// XML declaration names, else it is UTF-8. Anything that cannot be converted exactly is refused
// with EXMLDocError rather than read as garbled text.
namespace XmlEncoding {

// The document as UTF-8 without a byte-order mark. `source` names the file in messages.
QByteArray toUtf8(QByteArray bytes, const QString &source);

// The same, except that text stored as UTF-8 is returned without being validated, for a reader
// that validates it on the way. `converted` tells whether the text was stored in another encoding;
// converted text is valid, as the conversion refuses what is not.
QByteArray toUnvalidatedUtf8(QByteArray bytes, const QString &source, bool &converted);

// Fails with EXMLDocError naming the line and column of the first byte of `text` that is not
// valid UTF-8.
void requireValidUtf8(const QByteArray &text, const QString &source);

// The encoding named by the XML declaration at the start of ASCII-compatible bytes; empty when none.
QByteArray declaredEncoding(const QByteArray &bytes);

// The offset of the first byte that is not part of a valid UTF-8 sequence, or -1.
qsizetype invalidUtf8Offset(const char *data, qsizetype size);

// Line and column (both from 1, the column in characters) of a byte offset in UTF-8 text.
QString positionText(const char *utf8, qsizetype size, qsizetype offset);

} // namespace XmlEncoding

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The code page of the host's import files. Every character becomes exactly one byte, so
// fixed-width fields keep their widths: a character the code page lacks becomes "?".
QByteArray toWindows1250(QStringView text);

// Decodes bytes of the code page; its few unassigned bytes become U+FFFD.
QString fromWindows1250(QByteArrayView bytes);

// Appends the encoded text to bytes.
void appendWindows1250(QByteArray &bytes, QStringView text);

// Writes the encoded text to `out`, which has room for text.size() bytes; returns the bytes written
// (fewer than the text's units when it holds surrogate pairs).
qsizetype encodeWindows1250(QStringView text, char *out);

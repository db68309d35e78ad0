#include "reports/XmlEncoding.h"

#include "common/Exception.h"

#include <cstring>
#include <QRegularExpression>
#include <QStringDecoder>

namespace XmlEncoding {

namespace {

bool isUtf8Name(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    return lower == "utf-8" || lower == "utf8";
}

// Declarations of UTF-16 or UTF-32 are only believable together with a byte-order mark or
// the zero bytes of such text, both of which the detection from the data catches first.
bool isWideName(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    return lower.startsWith("utf-16") || lower.startsWith("utf-32") || lower.startsWith("ucs-");
}

QByteArray decodeToUtf8(const QByteArray &bytes, QStringDecoder &decoder, const QString &source,
                        const QString &encodingName)
{
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw EXMLDocError(
            QStringLiteral("Report file \"%1\" is not valid %2 text").arg(source, encodingName));
    return text.toUtf8();
}

} // namespace

QByteArray declaredEncoding(const QByteArray &bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype end = bytes.indexOf("?>");
    if (end < 0)
        return {};
    static const QRegularExpression encoding(
        QStringLiteral("\\sencoding\\s*=\\s*([\"'])([A-Za-z][A-Za-z0-9._-]*)\\1"));
    const QRegularExpressionMatch match = encoding.match(QString::fromLatin1(bytes.left(end)));
    return match.hasMatch() ? match.captured(2).toLatin1() : QByteArray();
}

qsizetype invalidUtf8Offset(const char *data, qsizetype size)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size) {
        // Reports are mostly ASCII: skip plain bytes 32 at a time.
        if (i + 32 <= size) {
            quint64 words[4];
            std::memcpy(words, bytes + i, sizeof words);
            if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) == 0) {
                i += 32;
                continue;
            }
        }
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // no overlong forms
            if (lead == 0xED)
                high = 0x9F; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            if (lead == 0xF4)
                high = 0x8F; // nothing above U+10FFFF
        } else {
            return i;
        }
        if (i + length > size)
            return i;
        if (bytes[i + 1] < low || bytes[i + 1] > high)
            return i;
        for (int k = 2; k < length; ++k)
            if ((bytes[i + k] & 0xC0) != 0x80)
                return i;
        i += length;
    }
    return -1;
}

QString positionText(const char *utf8, qsizetype size, qsizetype offset)
{
    offset = qBound(qsizetype(0), offset, size);
    qsizetype line = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        if (utf8[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const qsizetype column = QString::fromUtf8(utf8 + lineStart, offset - lineStart).size() + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

QByteArray toUnvalidatedUtf8(QByteArray bytes, const QString &source, bool &converted)
{
    converted = false;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    } else if (const auto wide = QStringConverter::encodingForData(bytes, u'<');
               wide && *wide != QStringConverter::Utf8) {
        QStringDecoder decoder(*wide);
        converted = true;
        bytes = decodeToUtf8(bytes, decoder, source, QString::fromLatin1(decoder.name()));
    } else if (const QByteArray declared = declaredEncoding(bytes);
               !declared.isEmpty() && !isUtf8Name(declared)) {
        const QString name = QString::fromLatin1(declared);
        QStringDecoder decoder(declared.constData());
        if (!decoder.isValid() || isWideName(declared))
            throw EXMLDocError(
                QStringLiteral("Report file \"%1\" declares the encoding \"%2\", which cannot be converted")
                    .arg(source, name));
        converted = true;
        bytes = decodeToUtf8(bytes, decoder, source, name);
    }
    return bytes;
}

void requireValidUtf8(const QByteArray &text, const QString &source)
{
    const qsizetype invalid = invalidUtf8Offset(text.constData(), text.size());
    if (invalid >= 0)
        throw EXMLDocError(QStringLiteral("Report file \"%1\" is not valid UTF-8 text (%2)")
                               .arg(source, positionText(text.constData(), text.size(), invalid)));
}

QByteArray toUtf8(QByteArray bytes, const QString &source)
{
    bool converted = false;
    bytes = toUnvalidatedUtf8(std::move(bytes), source, converted);
    if (!converted)
        requireValidUtf8(bytes, source);
    return bytes;
}

} // namespace XmlEncoding

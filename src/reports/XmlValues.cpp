#include "reports/XmlValues.h"

#include "common/Exception.h"

#include <cstring>
#include <limits>
#include <string_view>

namespace XmlValues {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(const char *text)
{
    std::string_view view(text);
    while (!view.empty() && isSpace(view.front()))
        view.remove_prefix(1);
    while (!view.empty() && isSpace(view.back()))
        view.remove_suffix(1);
    return view;
}

[[noreturn]] void throwNotA(const char *text, const char *what)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid %2 value").arg(QString::fromUtf8(text), what));
}

// A plain decimal of up to nine digits with an optional minus sign, which fits every type: the
// form of nearly every number in a report, read without the general parse's checks.
bool readShortDecimal(const char *text, qint64 &value)
{
    const char *c = text;
    const bool negative = *c == '-';
    if (negative)
        ++c;
    const char *digits = c;
    qint64 magnitude = 0;
    for (; static_cast<unsigned>(*c - '0') < 10 && c - digits < 9; ++c)
        magnitude = magnitude * 10 + (*c - '0');
    if (c == digits || *c)
        return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

// A whole number between `lowest` and `highest`; every property of every record goes through
// here, so it reads the digits itself rather than through a general conversion.
qint64 parseWhole(const char *text, qint64 lowest, qint64 highest, const char *typeName)
{
    const char *c = text;
    while (isSpace(*c))
        ++c;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+')
        ++c;
    const char *digits = c;
    quint64 magnitude = 0;
    bool overflow = false;
    for (; *c >= '0' && *c <= '9'; ++c) {
        overflow = overflow || magnitude > (std::numeric_limits<quint64>::max() - 9) / 10;
        magnitude = magnitude * 10 + quint64(*c - '0');
    }
    if (c == digits)
        throwNotA(text, "integer");
    while (isSpace(*c))
        ++c;
    if (*c)
        throwNotA(text, "integer");
    const quint64 limit = negative ? quint64(-(lowest + 1)) + 1 : quint64(highest);
    if (overflow || magnitude > limit)
        throw EConvertError(QStringLiteral("'%1' is out of the range of type (%2)")
                                .arg(QString::fromUtf8(text), QLatin1String(typeName)));
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

inline bool isAsciiText(const char *text, qsizetype size)
{
    const auto word = [text](qsizetype at) {
        quint64 bytes;
        std::memcpy(&bytes, text + at, sizeof bytes);
        return bytes;
    };
    quint64 bits = 0;
    if (size >= 8) {
        // Whole words; the last one may overlap the one before it.
        for (qsizetype i = 0; i + 8 < size; i += 8)
            bits |= word(i);
        bits |= word(size - 8);
    } else {
        for (qsizetype i = 0; i < size; ++i)
            bits |= static_cast<unsigned char>(text[i]);
    }
    return (bits & 0x8080808080808080ULL) == 0;
}

} // namespace

bool isAscii(std::string_view utf8)
{
    return isAsciiText(utf8.data(), qsizetype(utf8.size()));
}

QString toText(const char *utf8)
{
    const qsizetype size = qsizetype(std::strlen(utf8));
    // ASCII, nearly all of a report's text, is Latin-1 too, which converts by widening each byte.
    return isAsciiText(utf8, size) ? QString::fromLatin1(utf8, size) : QString::fromUtf8(utf8, size);
}

qint32 toInteger(const char *text)
{
    if (qint64 value; readShortDecimal(text, value))
        return qint32(value);
    return qint32(
        parseWhole(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), "Integer"));
}

quint32 toUnsigned(const char *text)
{
    if (qint64 value; readShortDecimal(text, value))
        return static_cast<quint32>(static_cast<quint64>(value));
    const qint64 value =
        parseWhole(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), "Int64");
    return static_cast<quint32>(static_cast<quint64>(value));
}

bool toBoolean(const char *text)
{
    const std::string_view view = trimmed(text);
    const auto equalsIgnoringCase = [view](std::string_view word) {
        return qstrnicmp(view.data(), view.size(), word.data(), word.size()) == 0;
    };
    if (equalsIgnoringCase("true"))
        return true;
    if (equalsIgnoringCase("false"))
        return false;
    throwNotA(text, "boolean");
}

QByteArray fromBoolean(bool value)
{
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

void throwNull(const char *typeName)
{
    throw EVariantTypeCastError(QStringLiteral("Could not convert variant of type (Null) into type (%1)")
                                    .arg(QLatin1String(typeName)));
}

} // namespace XmlValues

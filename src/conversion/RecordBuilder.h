#pragma once

#include <algorithm>
#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QStringView>
#include <QUtf8StringView>
#include <QVarLengthArray>
#include <string_view>

// A printf-style field format ("%-12.12s", "%.16d", "%17.4f"), read once. A converter that
// writes many records can keep its formats as constants (constexpr RecordFormat isin("%-12.12s"))
// and spare the reading per field; a malformed constant then fails to compile.
class RecordFormat
{
public:
    // Throws std::invalid_argument for a malformed format.
    constexpr explicit RecordFormat(std::string_view format);

    bool leftAlign = false;
    bool zeroFill = false;
    int width = 0;
    int precision = -1; // -1: none given
    char conversion = 0;

    // Throws std::invalid_argument unless the format ends in `expected` ('s', 'd' or 'f').
    void require(char expected) const;

private:
    [[noreturn]] static void throwMalformed(std::string_view format);
    static constexpr int readNumber(std::string_view format, size_t &pos);
};

// Builds one fixed-width record of a host import file, field by field, with printf-style
// field formats. Text is encoded to Windows-1250 before it is cut or filled, so widths count
// the characters of the written line.
//
//   text("%-6.6s", v)   left-aligned, filled with blanks on the right, cut to 6 characters
//   text("%9.9s", v)    right-aligned, filled with blanks on the left, cut to 9 characters
//   integer("%.16d", n) at least 16 digits with leading zeros; a minus sign widens the field
//   decimal("%17.4f", x) right-aligned in 17 characters, 4 decimals, decimal comma
//   date(d)             "0" followed by ddmmyyyy
//
// A malformed format is a programming error and throws std::invalid_argument.
class RecordBuilder
{
public:
    explicit RecordBuilder(qsizetype expectedLength = 0)
    {
        // Room without filling it: the fields write every byte they take.
        m_buffer.resize(qMax(expectedLength, m_buffer.capacity()));
    }

    RecordBuilder &text(std::string_view format, QStringView value)
    {
        return text(RecordFormat(format), value);
    }
    RecordBuilder &text(const RecordFormat &format, QStringView value);
    // A text as a report holds it, in UTF-8.
    RecordBuilder &text(const RecordFormat &format, QUtf8StringView value);
    // A number in a text format: written in decimal without leading zeros, then formatted as text.
    RecordBuilder &text(std::string_view format, qint64 number) { return text(RecordFormat(format), number); }
    RecordBuilder &text(const RecordFormat &format, qint64 number);
    RecordBuilder &integer(std::string_view format, qint64 value)
    {
        return integer(RecordFormat(format), value);
    }
    RecordBuilder &integer(const RecordFormat &format, qint64 value);
    RecordBuilder &decimal(std::string_view format, double value)
    {
        return decimal(RecordFormat(format), value);
    }
    RecordBuilder &decimal(const RecordFormat &format, double value);
    RecordBuilder &date(const QDate &date);
    // Fields written before, by another builder, copied as they stand.
    RecordBuilder &written(QByteArrayView fields)
    {
        std::copy_n(fields.data(), fields.size(), grow(fields.size()));
        return *this;
    }

    const QByteArray &bytes() const
    {
        m_bytes = take();
        return m_bytes;
    }
    QByteArray take() const { return QByteArray(m_buffer.data(), m_size); }
    // The record as it stands, valid until the builder changes.
    QByteArrayView view() const { return QByteArrayView(m_buffer.data(), m_size); }

private:
    // Appends `body` filled to the format's width; zero filling goes between sign and digits.
    void appendPadded(std::string_view body, const RecordFormat &format);
    // Appends `text` cut to the format's precision and filled with blanks to its width.
    void appendText(std::string_view text, const RecordFormat &format);
    // Cuts the text of `length` bytes at `out`, the record's last grown room, to the format's
    // precision and fills it with blanks to its width; the record then ends after it.
    void alignText(char *out, qsizetype length, const RecordFormat &format);
    // Makes room for `length` more bytes at the end and returns where they start.
    char *grow(qsizetype length)
    {
        const qsizetype start = m_size;
        if (start + length > m_buffer.size())
            m_buffer.resize(qMax(start + length, 2 * m_buffer.size()));
        m_size = start + length;
        return m_buffer.data() + start;
    }

    // Records are built on the stack (the longest, of transactions, has 694 characters) and
    // copied out once. The record is the first m_size bytes.
    QVarLengthArray<char, 1024> m_buffer;
    qsizetype m_size = 0;
    mutable QByteArray m_bytes; // what bytes() last returned
};

constexpr int RecordFormat::readNumber(std::string_view format, size_t &pos)
{
    int value = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9')
        value = value * 10 + (format[pos++] - '0');
    return value;
}

constexpr RecordFormat::RecordFormat(std::string_view format)
{
    size_t pos = 0;
    if (format.empty() || format[pos++] != '%')
        throwMalformed(format);
    for (; pos < format.size() && (format[pos] == '-' || format[pos] == '0'); ++pos)
        (format[pos] == '-' ? leftAlign : zeroFill) = true;
    width = readNumber(format, pos);
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        precision = readNumber(format, pos);
    }
    if (pos + 1 != format.size() || (format[pos] != 's' && format[pos] != 'd' && format[pos] != 'f'))
        throwMalformed(format);
    conversion = format[pos];
}

#include "RecordBuilder.h"

#include "conversion/Windows1250.h"

#include <algorithm>
#include <charconv>
#include <QVarLengthArray>
#include <stdexcept>
#include <string>

namespace {

struct FieldFormat
{
    bool leftAlign = false;
    bool zeroFill = false;
    int width = 0;
    int precision = -1; // -1: none given
    char conversion = 0;
};

int readNumber(std::string_view format, size_t &pos)
{
    int value = 0;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9')
        value = value * 10 + (format[pos++] - '0');
    return value;
}

FieldFormat parseFormat(std::string_view format, char expectedConversion)
{
    FieldFormat result;
    size_t pos = 0;
    if (format.empty() || format[pos++] != '%')
        throw std::invalid_argument("record field format must begin with %: " + std::string(format));
    for (; pos < format.size() && (format[pos] == '-' || format[pos] == '0'); ++pos)
        (format[pos] == '-' ? result.leftAlign : result.zeroFill) = true;
    result.width = readNumber(format, pos);
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        result.precision = readNumber(format, pos);
    }
    if (pos + 1 != format.size() || format[pos] != expectedConversion)
        throw std::invalid_argument("unsupported record field format: " + std::string(format));
    result.conversion = format[pos];
    return result;
}

// Fills the field to its width; zero filling goes between the sign and the digits.
void appendPadded(QByteArray &out, std::string_view body, const FieldFormat &format, bool zeroFillAllowed)
{
    const qsizetype fill = qMax<qsizetype>(0, format.width - qsizetype(body.size()));
    if (format.leftAlign) {
        out.append(body.data(), body.size());
        out.append(fill, ' ');
    } else if (format.zeroFill && zeroFillAllowed) {
        const size_t signLength = (!body.empty() && body.front() == '-') ? 1 : 0;
        out.append(body.data(), signLength);
        out.append(fill, '0');
        out.append(body.data() + signLength, body.size() - signLength);
    } else {
        out.append(fill, ' ');
        out.append(body.data(), body.size());
    }
}

// Cuts or fills the field body that starts at `start` of out in place.
void fitText(QByteArray &out, qsizetype start, const FieldFormat &format)
{
    qsizetype length = out.size() - start;
    if (format.precision >= 0 && length > format.precision) {
        out.truncate(start + format.precision);
        length = format.precision;
    }
    if (length >= format.width)
        return;
    if (format.leftAlign)
        out.append(format.width - length, ' ');
    else
        out.insert(start, format.width - length, ' ');
}

} // namespace

RecordBuilder &RecordBuilder::text(std::string_view format, QStringView value)
{
    const FieldFormat field = parseFormat(format, 's');
    const qsizetype start = m_bytes.size();
    appendWindows1250(m_bytes, value);
    fitText(m_bytes, start, field);
    return *this;
}

RecordBuilder &RecordBuilder::text(std::string_view format, qint64 number)
{
    const FieldFormat field = parseFormat(format, 's');
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    const qsizetype start = m_bytes.size();
    m_bytes.append(digits, end - digits);
    fitText(m_bytes, start, field);
    return *this;
}

RecordBuilder &RecordBuilder::integer(std::string_view format, qint64 value)
{
    const FieldFormat field = parseFormat(format, 'd');
    char digits[24];
    // The magnitude as unsigned, so the smallest 64-bit value has no overflow.
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    const auto digitsEnd = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const qsizetype digitCount = digitsEnd - digits;
    // Sign, leading zeros up to the precision, digits; built in place for speed.
    const qsizetype zeros = qMax<qsizetype>(0, field.precision - digitCount);
    const qsizetype bodyLength = (value < 0 ? 1 : 0) + zeros + digitCount;
    QVarLengthArray<char, 64> buffer(bodyLength);
    char *out = buffer.data();
    if (value < 0)
        *out++ = '-';
    std::fill_n(out, zeros, '0');
    std::copy(digits, digitsEnd, out + zeros);
    // As in printf, a precision switches zero filling of the width off.
    appendPadded(m_bytes, std::string_view(buffer.data(), bodyLength), field, field.precision < 0);
    return *this;
}

RecordBuilder &RecordBuilder::decimal(std::string_view format, double value)
{
    const FieldFormat field = parseFormat(format, 'f');
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                      field.precision < 0 ? 6 : field.precision);
    if (result.ec != std::errc())
        throw std::invalid_argument("number too large for a record field");
    for (char *c = buffer; c != result.ptr; ++c) {
        if (*c == '.')
            *c = ',';
    }
    appendPadded(m_bytes, std::string_view(buffer, result.ptr - buffer), field, true);
    return *this;
}

RecordBuilder &RecordBuilder::date(const QDate &date)
{
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day);
    char field[16];
    field[0] = '0';
    field[1] = char('0' + day / 10);
    field[2] = char('0' + day % 10);
    field[3] = char('0' + month / 10);
    field[4] = char('0' + month % 10);
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, year).ptr;
    const qsizetype yearLength = end - digits;
    char *out = field + 5;
    if (yearLength < 4)
        out = std::fill_n(out, 4 - yearLength, '0');
    out = std::copy(digits, end, out);
    m_bytes.append(field, out - field);
    return *this;
}

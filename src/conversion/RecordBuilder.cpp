#include "RecordBuilder.h"

#include "conversion/Windows1250.h"
#include "reports/XmlValues.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>

void RecordFormat::throwMalformed(std::string_view format)
{
    throw std::invalid_argument("unsupported record field format: " + std::string(format));
}

void RecordFormat::require(char expected) const
{
    if (conversion != expected)
        throw std::invalid_argument(std::string("record field format of conversion ") + conversion +
                                    " used for conversion " + expected);
}

void RecordBuilder::appendPadded(std::string_view body, const RecordFormat &format)
{
    const qsizetype length = qsizetype(body.size());
    const qsizetype fill = qMax<qsizetype>(0, format.width - length);
    char *out = grow(length + fill);
    if (format.leftAlign) {
        std::memcpy(out, body.data(), length);
        std::memset(out + length, ' ', fill);
    } else if (format.zeroFill) {
        const qsizetype signLength = (!body.empty() && body.front() == '-') ? 1 : 0;
        std::memcpy(out, body.data(), signLength);
        std::memset(out + signLength, '0', fill);
        std::memcpy(out + signLength + fill, body.data() + signLength, length - signLength);
    } else {
        std::memset(out, ' ', fill);
        std::memcpy(out + fill, body.data(), length);
    }
}

void RecordBuilder::alignText(char *out, qsizetype length, const RecordFormat &format)
{
    if (format.precision >= 0)
        length = qMin<qsizetype>(length, format.precision);
    const qsizetype fill = qMax<qsizetype>(0, format.width - length);
    if (format.leftAlign) {
        std::memset(out + length, ' ', fill);
    } else {
        std::memmove(out + fill, out, length);
        std::memset(out, ' ', fill);
    }
    m_size = (out - m_buffer.data()) + length + fill;
}

void RecordBuilder::appendText(std::string_view text, const RecordFormat &format)
{
    char *out = grow(qMax<qsizetype>(qsizetype(text.size()), format.width));
    std::memcpy(out, text.data(), text.size());
    alignText(out, qsizetype(text.size()), format);
}

RecordBuilder &RecordBuilder::text(const RecordFormat &format, QStringView value)
{
    format.require('s');
    // Encoded in place first, so that cutting and filling count the bytes of the written line.
    char *out = grow(qMax<qsizetype>(value.size(), format.width));
    alignText(out, encodeWindows1250(value, out), format);
    return *this;
}

RecordBuilder &RecordBuilder::text(const RecordFormat &format, QUtf8StringView value)
{
    const std::string_view utf8(value.data(), size_t(value.size()));
    if (!XmlValues::isAscii(utf8))
        return text(format, QStringView(QString::fromUtf8(value)));
    // ASCII is written as it stands: Windows-1250 shares it.
    format.require('s');
    appendText(utf8, format);
    return *this;
}

RecordBuilder &RecordBuilder::text(const RecordFormat &format, qint64 number)
{
    format.require('s');
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    appendText(std::string_view(digits, end - digits), format);
    return *this;
}

RecordBuilder &RecordBuilder::integer(const RecordFormat &format, qint64 value)
{
    format.require('d');
    char digits[24];
    // The magnitude as unsigned, so the smallest 64-bit value has no overflow.
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    const auto digitsEnd = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
    const qsizetype digitCount = digitsEnd - digits;
    // Sign, leading zeros up to the precision, digits, filled to the width. As in printf, a
    // precision switches zero filling of the width off, and left alignment fills with blanks.
    qsizetype zeros = qMax<qsizetype>(0, format.precision - digitCount);
    const qsizetype bodyLength = (value < 0 ? 1 : 0) + zeros + digitCount;
    const qsizetype fill = qMax<qsizetype>(0, format.width - bodyLength);
    const bool fillWithZeros = !format.leftAlign && format.zeroFill && format.precision < 0;
    char *out = grow(bodyLength + fill);
    if (!format.leftAlign && !fillWithZeros)
        out = std::fill_n(out, fill, ' ');
    if (value < 0)
        *out++ = '-';
    if (fillWithZeros)
        zeros += fill;
    out = std::fill_n(out, zeros, '0');
    out = std::copy(digits, digitsEnd, out);
    if (format.leftAlign)
        std::fill_n(out, fill, ' ');
    return *this;
}

namespace {

// "%.<precision>f" of the value by integer arithmetic, when its rounding is beyond doubt: the
// value times the power of ten is then clearly nearer one integer than any other. Returns the
// end of the text written to `out`, or null when the value needs the exact conversion.
char *writeFixedByIntegers(double value, int precision, char *out)
{
    constexpr quint64 powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (precision < 0 || precision >= int(std::size(powers)))
        return nullptr;
    const double scaled = std::fabs(value) * double(powers[precision]);
    // Below 2^50 the product is off the exact one by at most 1/8; an integer within 1/4 of it is
    // then within 3/8 of the exact product, which rounds to it. NaN fails the first test.
    if (!(scaled < 0x1p50))
        return nullptr;
    const auto nearest = quint64(std::llround(scaled));
    if (std::fabs(scaled - double(nearest)) >= 0.25)
        return nullptr;
    if (std::signbit(value))
        *out++ = '-';
    out = std::to_chars(out, out + 24, nearest / powers[precision]).ptr;
    if (precision > 0) {
        *out++ = '.';
        quint64 fraction = nearest % powers[precision];
        for (int i = precision - 1; i >= 0; --i, fraction /= 10)
            out[i] = char('0' + fraction % 10);
        out += precision;
    }
    return out;
}

} // namespace

RecordBuilder &RecordBuilder::decimal(const RecordFormat &format, double value)
{
    format.require('f');
    char buffer[400];
    const int precision = format.precision < 0 ? 6 : format.precision;
    char *end = writeFixedByIntegers(value, precision, buffer);
    if (!end) {
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
        if (result.ec != std::errc())
            throw std::invalid_argument("number too large for a record field");
        end = result.ptr;
    }
    std::replace(buffer, end, '.', ',');
    appendPadded(std::string_view(buffer, end - buffer), format);
    return *this;
}

namespace {

// Day, month and year of a date of the years 1 to 9999 from its Julian day, by the usual
// arithmetic of the Gregorian calendar (QDate's own takes a call and a table walk).
void civilDate(qint64 julianDay, int &year, int &month, int &day)
{
    // Unsigned 32-bit arithmetic suffices for these years and spares the sign corrections.
    const quint32 shifted = quint32(julianDay - 1721120); // days since 1 March of the year 0
    const quint32 era = shifted / 146097;
    const quint32 dayOfEra = shifted - era * 146097;
    const quint32 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const quint32 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const quint32 shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = int(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr qint64 firstJulianDayOfYear1 = 1721426;   // 1 January 1
constexpr qint64 lastJulianDayOfYear9999 = 5373484; // 31 December 9999

} // namespace

RecordBuilder &RecordBuilder::date(const QDate &date)
{
    int year = 0;
    int month = 0;
    int day = 0;
    const qint64 julianDay = date.toJulianDay();
    if (julianDay >= firstJulianDayOfYear1 && julianDay <= lastJulianDayOfYear9999) {
        civilDate(julianDay, year, month, day);
        char *out = grow(9);
        out[0] = '0';
        out[1] = char('0' + unsigned(day) / 10);
        out[2] = char('0' + unsigned(day) % 10);
        out[3] = char('0' + unsigned(month) / 10);
        out[4] = char('0' + unsigned(month) % 10);
        const auto digits = unsigned(year);
        out[5] = char('0' + digits / 1000);
        out[6] = char('0' + digits / 100 % 10);
        out[7] = char('0' + digits / 10 % 10);
        out[8] = char('0' + digits % 10);
        return *this;
    }
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
    const qsizetype length = out - field;
    std::memcpy(grow(length), field, length);
    return *this;
}

#pragma once

#include <QByteArray>
#include <QDate>
#include <QStringView>
#include <string_view>

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
    explicit RecordBuilder(qsizetype expectedLength = 0) { m_bytes.reserve(expectedLength); }

    RecordBuilder &text(std::string_view format, QStringView value);
    // A number in a text format: written in decimal without leading zeros, then formatted as text.
    RecordBuilder &text(std::string_view format, qint64 number);
    RecordBuilder &integer(std::string_view format, qint64 value);
    RecordBuilder &decimal(std::string_view format, double value);
    RecordBuilder &date(const QDate &date);

    const QByteArray &bytes() const { return m_bytes; }
    QByteArray take() { return std::move(m_bytes); }

private:
    QByteArray m_bytes;
};

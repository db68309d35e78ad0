#include "XmlDateTime.h"

#include "common/Exception.h"
#include "reports/XmlValues.h"

#include <optional>

namespace {

// The part at 1-based position from with the given length, read as a decimal whole number.
// Positions count code points: a character outside the Basic Multilingual Plane is one.
int integerPart(const QList<uint> &text, int from, int length)
{
    const QList<uint> part = text.mid(from - 1, length);
    const bool hasSign = part.size() > 1 && (part.front() == U'-' || part.front() == U'+');
    int value = 0;
    bool ok = !part.isEmpty();
    for (qsizetype i = hasSign ? 1 : 0; ok && i < part.size(); ++i) {
        ok = part[i] >= U'0' && part[i] <= U'9';
        value = value * 10 + int(part[i] - U'0');
    }
    if (!ok)
        throw EConvertError(
            QStringLiteral("'%1' is not a valid integer value")
                .arg(QString::fromUcs4(reinterpret_cast<const char32_t *>(part.constData()), part.size())));
    return part.front() == U'-' ? -value : value;
}

struct DateAndTime
{
    QDate date;
    QTime time;
};

DateAndTime parseParts(const QString &text)
{
    const QList<uint> codePoints = text.toUcs4();
    const int year = integerPart(codePoints, 1, 4);
    const int month = integerPart(codePoints, 6, 2);
    const int day = integerPart(codePoints, 9, 2);
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1)
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    if (codePoints.size() == 10)
        return {date, QTime(0, 0)};
    const int hours = integerPart(codePoints, 12, 2);
    const int minutes = integerPart(codePoints, 15, 2);
    const int seconds = integerPart(codePoints, 18, 2);
    const QTime time(hours, minutes, seconds);
    if (!time.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return {date, time};
}

template<class Unit> int digitPair(const Unit *text)
{
    const unsigned tens = unsigned(text[0]) - u'0';
    const unsigned ones = unsigned(text[1]) - u'0';
    return tens < 10 && ones < 10 ? int(tens * 10 + ones) : -1;
}

// The usual "yyyy-mm-dd" or "yyyy-mm-ddThh:nn:ss..." of plain digits that make a real date and
// time; anything else is left to parseParts, which reads it the same way or fails. Where this
// form matches, no character before position 20 lies outside the Basic Multilingual Plane (its
// two units would need two neighbouring places that are not digits), so UTF-16 units and code
// points give the same positions; a text of 10 units is one of 10 code points. The units are
// those of UTF-16, or the bytes of an ASCII text.
template<class Unit> std::optional<DateAndTime> parseUsualForm(const Unit *c, qsizetype size)
{
    if (size != 10 && size < 19)
        return std::nullopt;
    const int century = digitPair(c);
    const int yearInCentury = digitPair(c + 2);
    const int month = digitPair(c + 5);
    const int day = digitPair(c + 8);
    if (century < 0 || yearInCentury < 0 || month < 0 || day < 0)
        return std::nullopt;
    const int year = century * 100 + yearInCentury;
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1)
        return std::nullopt;
    if (size == 10)
        return DateAndTime{date, QTime(0, 0)};
    const QTime time(digitPair(c + 11), digitPair(c + 14), digitPair(c + 17));
    if (!time.isValid())
        return std::nullopt;
    return DateAndTime{date, time};
}

DateAndTime parse(const QString &text)
{
    if (const std::optional<DateAndTime> usual = parseUsualForm(text.utf16(), text.size()))
        return *usual;
    return parseParts(text);
}

} // namespace

QDateTime ParseXmlDateTime(const QString &text)
{
    const DateAndTime parts = parse(text);
    return QDateTime(parts.date, parts.time);
}

QDate ParseXmlDate(const QString &text)
{
    return parse(text).date;
}

QDate ParseXmlDate(QUtf8StringView text)
{
    const std::string_view utf8(text.data(), size_t(text.size()));
    if (XmlValues::isAscii(utf8)) {
        if (const std::optional<DateAndTime> usual = parseUsualForm(utf8.data(), text.size()))
            return usual->date;
    }
    return ParseXmlDate(QString::fromUtf8(text));
}

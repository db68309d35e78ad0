#include "XmlDateTime.h"

#include "common/Exception.h"

namespace {

// The part at 1-based position from with the given length, read as a decimal whole number.
int integerPart(const QString &text, int from, int length)
{
    const QStringView part = QStringView(text).mid(from - 1).left(length);
    const bool hasSign = part.size() > 1 && (part.front() == u'-' || part.front() == u'+');
    int value = 0;
    bool ok = !part.isEmpty();
    for (qsizetype i = hasSign ? 1 : 0; ok && i < part.size(); ++i) {
        ok = part[i] >= u'0' && part[i] <= u'9';
        value = value * 10 + (part[i].unicode() - u'0');
    }
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(part));
    return part.front() == u'-' ? -value : value;
}

struct DateAndTime
{
    QDate date;
    QTime time;
};

DateAndTime parseParts(const QString &text)
{
    const int year = integerPart(text, 1, 4);
    const int month = integerPart(text, 6, 2);
    const int day = integerPart(text, 9, 2);
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1)
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    if (text.size() == 10)
        return {date, QTime(0, 0)};
    const int hours = integerPart(text, 12, 2);
    const int minutes = integerPart(text, 15, 2);
    const int seconds = integerPart(text, 18, 2);
    const QTime time(hours, minutes, seconds);
    if (!time.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    return {date, time};
}

} // namespace

QDateTime ParseXmlDateTime(const QString &text)
{
    const DateAndTime parts = parseParts(text);
    return QDateTime(parts.date, parts.time);
}

QDate ParseXmlDate(const QString &text)
{
    return parseParts(text).date;
}

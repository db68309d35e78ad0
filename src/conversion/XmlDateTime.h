#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QUtf8StringView>

// Reads the dates of the reports: "yyyy-mm-dd" (exactly 10 characters, at midnight) or
// "yyyy-mm-ddThh:nn:ss" with anything after the seconds (fractions, time zone) ignored.
// The separators are not checked. Throws EConvertError "'<part>' is not a valid integer value"
// for a part that is not a whole number (or is cut short), and EConvertError for a date or
// time that does not exist.
QDateTime ParseXmlDateTime(const QString &text);

// The date of ParseXmlDateTime, with the same checks and failures. Converters that write only
// the date use it: it needs no time zone, which costs a system call per value.
QDate ParseXmlDate(const QString &text);
// The same of a text as a report holds it, in UTF-8.
QDate ParseXmlDate(QUtf8StringView text);

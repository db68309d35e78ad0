#include "batch/RequestDate.h"

#include <QRegularExpression>

namespace {
int fullYear(int twoDigitYear)
{
    return twoDigitYear < 50 ? 2000 + twoDigitYear : 1900 + twoDigitYear;
}

std::optional<QDate> dayFirstWithFullStops(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*(\d{1,2})\.\s*(\d{1,2})\.\s*(\d{4}|\d{2})\s*$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString yearText = match.captured(3);
    const int year = yearText.size() == 2 ? fullYear(yearText.toInt()) : yearText.toInt();
    const QDate date(year, match.captured(2).toInt(), match.captured(1).toInt());
    return date.isValid() ? std::optional(date) : std::nullopt;
}

std::optional<QDate> inLocaleFormat(const QString &text, const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QDate date = locale.toDate(text.trimmed(), format);
    if (!date.isValid())
        return std::nullopt;
    // The locale's "yy" reads as a year of the 1900s.
    if (format.contains(QLatin1String("yy")) && !format.contains(QLatin1String("yyyy")))
        date = QDate(fullYear(date.year() % 100), date.month(), date.day());
    return date.isValid() ? std::optional(date) : std::nullopt;
}
} // namespace

std::optional<QDate> ParseRequestDate(const QString &text, const QLocale &locale)
{
    if (const auto date = inLocaleFormat(text, locale))
        return date;
    return dayFirstWithFullStops(text);
}

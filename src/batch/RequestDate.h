#pragma once

#include <optional>
#include <QDate>
#include <QLocale>
#include <QString>

// A date of the request file: in the locale's short date format, or day, month and year separated by full
// stops as the host writes them ("15.1.2024", "15.01.2024", "15. 1. 2024", "15.1.24"). A two-digit year
// lies between 1950 and 2049, as Windows reads it. Nothing for a text that is no real day ("31.2.2024").
std::optional<QDate> ParseRequestDate(const QString &text, const QLocale &locale = QLocale::system());

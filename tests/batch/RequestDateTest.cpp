#include "batch/RequestDate.h"

#include <gtest/gtest.h>

TEST(RequestDateTest, TheHostsFormsWithFullStopsWhateverTheLocale)
{
    struct Case
    {
        const char *text;
        QDate expected; // invalid: no date
    };
    const Case cases[] = {
        {"15.1.2024", QDate(2024, 1, 15)},
        {"15.01.2024", QDate(2024, 1, 15)},
        {"05.12.2023", QDate(2023, 12, 5)},
        {" 15. 1. 2024 ", QDate(2024, 1, 15)},
        {"15.1.24", QDate(2024, 1, 15)},
        {"1.1.49", QDate(2049, 1, 1)},
        {"31.12.50", QDate(1950, 12, 31)},
        {"29.2.2024", QDate(2024, 2, 29)},
        {"29.2.2023", QDate()}, // not a leap year
        {"31.2.2024", QDate()},
        {"31.4.2024", QDate()},
        {"0.1.2024", QDate()},
        {"15.13.2024", QDate()},
        {"15.1.202", QDate()},
        {"15.1.", QDate()},
        {"15-1-2024", QDate()},
        {"2024.1.15", QDate()},
        {"", QDate()},
        {"yesterday", QDate()},
    };
    for (const char *locale : {"C", "en_US", "de_DE", "sl_SI"}) {
        for (const Case &c : cases) {
            const std::optional<QDate> date = ParseRequestDate(QString::fromUtf8(c.text), QLocale(locale));
            EXPECT_EQ(date.value_or(QDate()), c.expected) << locale << " " << c.text;
        }
    }
}

TEST(RequestDateTest, TheLocalesShortFormatWithTwoDigitYearsBetween1950And2049)
{
    struct Case
    {
        const char *locale;
        const char *text;
        QDate expected;
    };
    const Case cases[] = {
        {"en_US", "1/15/24", QDate(2024, 1, 15)},
        {"en_US", "12/31/99", QDate(1999, 12, 31)},
        {"en_US", "2/31/24", QDate()},
        {"en_US", "15/1/24", QDate()}, // month first in this locale
        {"de_DE", "15.01.24", QDate(2024, 1, 15)},
        {"sl_SI", "15. 01. 24", QDate(2024, 1, 15)},
    };
    for (const Case &c : cases) {
        const std::optional<QDate> date = ParseRequestDate(QString::fromUtf8(c.text), QLocale(c.locale));
        EXPECT_EQ(date.value_or(QDate()), c.expected)
            << c.locale << " " << c.text << " format "
            << QLocale(c.locale).dateFormat(QLocale::ShortFormat).toStdString();
    }
}

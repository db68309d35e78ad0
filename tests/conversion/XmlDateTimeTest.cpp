#include "conversion/XmlDateTime.h"

#include "common/Exception.h"

#include <gtest/gtest.h>

namespace {

struct ValidCase
{
    QString text;
    QDateTime expected;
};

void PrintTo(const ValidCase &c, std::ostream *os)
{
    *os << "[" << c.text.toStdString() << "]";
}

class XmlDateTimeValid : public testing::TestWithParam<ValidCase>
{
};

TEST_P(XmlDateTimeValid, Parses)
{
    EXPECT_EQ(ParseXmlDateTime(GetParam().text), GetParam().expected);
    EXPECT_EQ(ParseXmlDate(GetParam().text), GetParam().expected.date());
    EXPECT_EQ(ParseXmlDate(QUtf8StringView(GetParam().text.toUtf8())), GetParam().expected.date());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlDateTimeValid,
    testing::Values(ValidCase{"2024-03-05", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
                    ValidCase{"2024-03-05T14:30:05.123+01:00",
                              QDateTime(QDate(2024, 3, 5), QTime(14, 30, 5))},
                    ValidCase{"2024-03-05T14:30:05", QDateTime(QDate(2024, 3, 5), QTime(14, 30, 5))},
                    // The separators are not checked.
                    ValidCase{"2024/03/05", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
                    ValidCase{"2024-02-29T23:59:59Z", QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59))},
                    ValidCase{"0001-01-01", QDateTime(QDate(1, 1, 1), QTime(0, 0))},
                    // Signs are read as such in any part.
                    ValidCase{"2024-+3-05", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
                    // A part cut short by the end of the text is read as far as it goes.
                    ValidCase{"2024-03-05T14:30:5", QDateTime(QDate(2024, 3, 5), QTime(14, 30, 5))},
                    // Positions count characters, also those outside the Basic Multilingual Plane.
                    ValidCase{QString::fromUtf8("2024\U0001F600"
                                                "03-05"),
                              QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
                    ValidCase{QString::fromUtf8("2024-03\U0001F600"
                                                "05"),
                              QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
                    ValidCase{QString::fromUtf8("2024-03-05\U0001F600"
                                                "14:30:05"),
                              QDateTime(QDate(2024, 3, 5), QTime(14, 30, 5))},
                    ValidCase{QString::fromUtf8("2024-03-05T14\U0001F600"
                                                "30:05\U0001F600"),
                              QDateTime(QDate(2024, 3, 5), QTime(14, 30, 5))}));

struct InvalidCase
{
    QString text;
    QString message;
};

void PrintTo(const InvalidCase &c, std::ostream *os)
{
    *os << "[" << c.text.toStdString() << "]";
}

class XmlDateTimeInvalid : public testing::TestWithParam<InvalidCase>
{
};

TEST_P(XmlDateTimeInvalid, FailsWithAConversionError)
{
    try {
        ParseXmlDateTime(GetParam().text);
        FAIL() << "no error for " << GetParam().text.toStdString();
    } catch (const EConvertError &error) {
        EXPECT_EQ(error.message(), GetParam().message);
    }
    for (const bool utf8 : {false, true}) {
        try {
            utf8 ? ParseXmlDate(QUtf8StringView(GetParam().text.toUtf8())) : ParseXmlDate(GetParam().text);
            FAIL() << "no error for the date of " << GetParam().text.toStdString();
        } catch (const EConvertError &error) {
            EXPECT_EQ(error.message(), GetParam().message);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlDateTimeInvalid,
    testing::Values(InvalidCase{"2024-3-5", "'3-' is not a valid integer value"},
                    InvalidCase{QString::fromUtf8("2024-\U0001F600"
                                                  "3-05"),
                                QString::fromUtf8("'\U0001F600"
                                                  "3' is not a valid integer value")},
                    InvalidCase{"", "'' is not a valid integer value"},
                    InvalidCase{"2024-03", "'' is not a valid integer value"},
                    InvalidCase{"2024-03-05T", "'' is not a valid integer value"},
                    InvalidCase{"2024-03-05 14:3x:00", "'3x' is not a valid integer value"},
                    InvalidCase{"20x4-03-05", "'20x4' is not a valid integer value"},
                    InvalidCase{"2023-02-29", "Invalid argument to date encode"},
                    InvalidCase{"2024-13-01", "Invalid argument to date encode"},
                    InvalidCase{"2024-03-05T24:00:00", "Invalid argument to time encode"},
                    InvalidCase{"2024-03-05T14:60:00", "Invalid argument to time encode"},
                    InvalidCase{"0000-01-01", "Invalid argument to date encode"},
                    InvalidCase{"2024-03-05T14:30", "'' is not a valid integer value"},
                    InvalidCase{"2024-03-05T-1:00:00", "Invalid argument to time encode"},
                    InvalidCase{"2024-03-0\u0665",
                                QString::fromUtf8("'0\u0665' is not a valid integer value")}));

} // namespace

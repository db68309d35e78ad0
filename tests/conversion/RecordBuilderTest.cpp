#include "conversion/RecordBuilder.h"

#include "conversion/Windows1250.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

struct TextCase
{
    const char *format;
    QString value;
    QByteArray expected;
};

void PrintTo(const TextCase &c, std::ostream *os)
{
    *os << c.format << " [" << c.value.toStdString() << "]";
}

class RecordTextFormat : public testing::TestWithParam<TextCase>
{
};

TEST_P(RecordTextFormat, FormatsLikePrintf)
{
    const TextCase &c = GetParam();
    EXPECT_EQ(RecordBuilder().text(c.format, c.value).bytes(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RecordTextFormat,
    testing::Values(TextCase{"%-6.6s", "AB", "AB    "}, TextCase{"%-6.6s", "ABCDEFGH", "ABCDEF"},
                    TextCase{"%9.9s", "12345", "    12345"}, TextCase{"%9.9s", "1234567890", "123456789"},
                    TextCase{"%-12.12s", " ", "            "}, TextCase{"%-6.6s", "", "      "},
                    TextCase{"%s", "free", "free"}, TextCase{"%4s", "toolong", "toolong"},
                    // Slovenian letters are one byte each in Windows-1250, so widths hold.
                    TextCase{"%-6.6s", QString::fromUtf8("ČŠŽčšž"), "\xC8\x8A\x8E\xE8\x9A\x9E"},
                    TextCase{"%-4.4s", QString::fromUtf8("Žaba!"),
                             "\x8E"
                             "aba"},
                    // Characters the code page lacks become one "?" each, a surrogate pair too.
                    TextCase{"%-5.5s", QString::fromUtf8("漢字"), "??   "},
                    TextCase{"%-4.4s", QString::fromUtf8("a😀b"), "a?b "}));

struct IntegerCase
{
    const char *format;
    qint64 value;
    QByteArray expected;
};

void PrintTo(const IntegerCase &c, std::ostream *os)
{
    *os << c.format << " " << c.value;
}

class RecordIntegerFormat : public testing::TestWithParam<IntegerCase>
{
};

TEST_P(RecordIntegerFormat, FormatsLikePrintf)
{
    const IntegerCase &c = GetParam();
    EXPECT_EQ(RecordBuilder().integer(c.format, c.value).bytes(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RecordIntegerFormat,
    testing::Values(IntegerCase{"%.16d", 1500, "0000000000001500"},
                    IntegerCase{"%.16d", 0, "0000000000000000"},
                    // The minus sign comes before the digits and widens the field.
                    IntegerCase{"%.16d", -5, "-0000000000000005"}, IntegerCase{"%.3d", 123456, "123456"},
                    IntegerCase{"%5d", -42, "  -42"}, IntegerCase{"%-5d", 42, "42   "},
                    IntegerCase{"%05d", -42, "-0042"}, IntegerCase{"%8.5d", 42, "   00042"},
                    IntegerCase{"%.16d", std::numeric_limits<qint64>::min(), "-9223372036854775808"}));

struct DecimalCase
{
    const char *format;
    double value;
    QByteArray expected;
};

void PrintTo(const DecimalCase &c, std::ostream *os)
{
    *os << c.format << " " << c.value;
}

class RecordDecimalFormat : public testing::TestWithParam<DecimalCase>
{
};

TEST_P(RecordDecimalFormat, WritesADecimalComma)
{
    const DecimalCase &c = GetParam();
    EXPECT_EQ(RecordBuilder().decimal(c.format, c.value).bytes(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, RecordDecimalFormat,
                         testing::Values(DecimalCase{"%17.4f", 1234.5, "        1234,5000"},
                                         DecimalCase{"%17.4f", -0.25, "          -0,2500"},
                                         DecimalCase{"%17.4f", 0.00005, "           0,0001"},
                                         DecimalCase{"%6.2f", 123456.789, "123456,79"},
                                         DecimalCase{"%.0f", 2.5, "2"},
                                         DecimalCase{"%-8.1f", 1.0, "1,0     "}));

TEST(RecordBuilder, WritesDatesAsZeroAndDayMonthYear)
{
    EXPECT_EQ(RecordBuilder().date(QDate(2024, 3, 5)).bytes(), "005032024");
    EXPECT_EQ(RecordBuilder().date(QDate(1999, 12, 31)).bytes(), "031121999");
    EXPECT_EQ(RecordBuilder().date(QDate(812, 1, 9)).bytes(), "009010812");
}

TEST(RecordBuilder, AppendsFieldsInOrderAndWritesNumbersInTextFieldsInDecimal)
{
    RecordBuilder record;
    record.text("%-3.3s", QStringLiteral("AB"))
        .text("%9.9s", qint64(4294967295))
        .integer("%.4d", 7)
        .date(QDate(2024, 1, 2));
    EXPECT_EQ(record.take(), "AB 4294967290007002012024");
}

TEST(RecordBuilder, RejectsMalformedFormats)
{
    EXPECT_THROW(RecordBuilder().text("-6.6s", u"x"), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().text("%6d", u"x"), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().integer("%.16dd", 1), std::invalid_argument);
}

TEST(Windows1250, EncodesEveryAssignedCharacterAndReadsItBack)
{
    for (int byte = 0; byte < 256; ++byte) {
        const QByteArray original(1, char(byte));
        const QString decoded = fromWindows1250(original);
        if (decoded == QChar(QChar::ReplacementCharacter))
            EXPECT_EQ(toWindows1250(decoded), "?") << byte;
        else
            EXPECT_EQ(toWindows1250(decoded), original) << byte;
    }
    EXPECT_EQ(fromWindows1250("\x80\x8A\x9E"), QString::fromUtf8("€Šž"));
}

} // namespace

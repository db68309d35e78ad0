#include "conversion/RecordBuilder.h"

#include "conversion/Windows1250.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

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
                    TextCase{"%-4.4s", QString::fromUtf8("a😀b"), "a?b "},
                    TextCase{"%3.3s", QString::fromUtf8("😀😀😀😀"), "???"},
                    TextCase{"%-300.300s", QString(290, u'x'), QByteArray(290, 'x') + QByteArray(10, ' ')}));

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

// Decimals are written by integer arithmetic where the rounding is beyond doubt; every value must
// still come out as printf writes it, values next to a half of the last place above all.
TEST(RecordBuilder, WritesEveryDecimalAsPrintfDoes)
{
    std::mt19937_64 random(20261210);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> values = {0.0,    -0.0,   0.00005, -0.00005, 0.00015, 2.5,    0.125,   1e15,
                                  1e-300, 0x1p50, 0x1p49,  1e300,    -1e16,   12.345, 99.99995};
    for (int i = 0; i < 50000; ++i) {
        const double magnitude = std::pow(10.0, double(i % 14) - 4);
        const double value = unit(random) * magnitude;
        values.push_back(value);
        // The neighbours of a half of the fourth decimal place.
        const double half = (std::round(value * 1e4) + 0.5) / 1e4;
        values.insert(values.end(), {half, std::nextafter(half, 0.0), std::nextafter(half, 1e300)});
    }
    for (const char *format : {"%17.4f", "%.0f", "%-9.2f", "%.6f", "%12.7f"}) {
        const RecordFormat parsed(format);
        for (const double value : values) {
            char expected[512];
            std::snprintf(expected, sizeof expected, format, value);
            std::replace(expected, expected + std::strlen(expected), '.', ',');
            ASSERT_EQ(RecordBuilder().decimal(parsed, value).bytes(), QByteArray(expected))
                << format << " " << value;
        }
    }
}

TEST(RecordBuilder, WritesDatesAsZeroAndDayMonthYear)
{
    EXPECT_EQ(RecordBuilder().date(QDate(2024, 3, 5)).bytes(), "005032024");
    EXPECT_EQ(RecordBuilder().date(QDate(1999, 12, 31)).bytes(), "031121999");
    EXPECT_EQ(RecordBuilder().date(QDate(812, 1, 9)).bytes(), "009010812");
}

TEST(RecordBuilder, WritesEveryDateOfTheYearsOneTo9999AsTheCalendarHasIt)
{
    const auto expected = [](const QDate &date) {
        return QStringLiteral("0%1%2%3")
            .arg(date.day(), 2, 10, QLatin1Char('0'))
            .arg(date.month(), 2, 10, QLatin1Char('0'))
            .arg(date.year(), 4, 10, QLatin1Char('0'))
            .toLatin1();
    };
    QList<QDate> dates = {QDate(1, 1, 1),     QDate(9999, 12, 31), QDate(1600, 2, 29), QDate(1700, 3, 1),
                          QDate(1900, 2, 28), QDate(2000, 2, 29),  QDate(2000, 3, 1),  QDate(2024, 12, 31)};
    for (qint64 day = QDate(1, 1, 1).toJulianDay(); day <= QDate(9999, 12, 31).toJulianDay(); day += 97)
        dates << QDate::fromJulianDay(day);
    for (const QDate &date : dates)
        ASSERT_EQ(RecordBuilder().date(date).bytes(), expected(date))
            << date.toString(Qt::ISODate).toStdString();
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

TEST(RecordBuilder, FormatsReadOnceWriteAsTheirTextDoes)
{
    static constexpr RecordFormat isin("%-12.12s");
    static constexpr RecordFormat account("%9.9s");
    static constexpr RecordFormat volume("%.16d");
    RecordBuilder once;
    RecordBuilder each;
    for (int i = 0; i < 2; ++i) {
        once.text(isin, u"SI0031102120X").text(account, qint64(-12345)).integer(volume, -7);
        each.text("%-12.12s", u"SI0031102120X").text("%9.9s", qint64(-12345)).integer("%.16d", -7);
    }
    EXPECT_EQ(once.bytes(), each.bytes());
    EXPECT_EQ(once.bytes(), "SI0031102120   -12345-0000000000000007SI0031102120   -12345-0000000000000007");
    EXPECT_THROW(RecordBuilder().integer(isin, 1), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().text(volume, u"x"), std::invalid_argument);
}

TEST(RecordBuilder, RejectsMalformedFormats)
{
    EXPECT_THROW(RecordBuilder().text("-6.6s", u"x"), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().text("%6d", u"x"), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().integer("%.16dd", 1), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().text("", u"x"), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().text("%-6.6", u"x"), std::invalid_argument);
    EXPECT_THROW(RecordBuilder().decimal("%17.4x", 1.0), std::invalid_argument);
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

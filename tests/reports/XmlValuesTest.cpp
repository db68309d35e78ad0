#include "reports/XmlValues.h"

#include "common/Exception.h"
#include "ReportFile.h"
#include "reports/XmlEncoding.h"

#include <gtest/gtest.h>
#include <limits>

TEST(XmlValuesTest, SignedIntegersReadTheWholeNumber)
{
    const struct
    {
        const char *text;
        qint32 value;
    } cases[] = {
        {"-5", -5},
        {"0", 0},
        {"+3", 3},
        {" 7\n", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"999999999", 999999999},
        {"-999999999", -999999999},
        {"1000000000", 1000000000},
        {"-0", 0},
        {"007", 7},
    };
    for (const auto &c : cases)
        EXPECT_EQ(XmlValues::toInteger(c.text), c.value) << c.text;
}

TEST(XmlValuesTest, TextsOfAnyLengthReadAsUnicodeWhereverALetterOutsideAsciiIs)
{
    for (int length = 0; length <= 20; ++length) {
        const QByteArray ascii(length, 'a');
        EXPECT_EQ(XmlValues::toText(ascii.constData()), QString::fromLatin1(ascii)) << length;
        for (int at = 0; at < length; ++at) {
            QByteArray utf8 = ascii;
            utf8.replace(at, 1, "\xC5\xA0"); // Š
            EXPECT_EQ(XmlValues::toText(utf8.constData()), QString::fromUtf8(utf8)) << length << " " << at;
        }
    }
}

TEST(XmlValuesTest, UnsignedIntegersKeepTheLowBitsOfA64BitRead)
{
    const struct
    {
        const char *text;
        quint32 value;
    } cases[] = {
        {"4294967295", 4294967295u},  {"123456", 123456u}, {"4294967296", 0u},
        {"4294967301", 5u},           {"-1", 4294967295u}, {"9223372036854775807", 4294967295u},
        {"-9223372036854775808", 0u},
    };
    for (const auto &c : cases)
        EXPECT_EQ(XmlValues::toUnsigned(c.text), c.value) << c.text;
}

TEST(XmlValuesTest, TextsThatAreNotWholeNumbersFail)
{
    for (const char *text : {"abc", "1.5", "5x", "--1", "+-1", "+", "1 2", "0x10", "1,5"}) {
        EXPECT_EQ(messageOf<EConvertError>([&] { XmlValues::toInteger(text); }),
                  QStringLiteral("'%1' is not a valid integer value").arg(text));
        EXPECT_THROW(XmlValues::toUnsigned(text), EConvertError) << text;
    }
    EXPECT_EQ(messageOf<EConvertError>([] { XmlValues::toInteger("2147483648"); }),
              "'2147483648' is out of the range of type (Integer)");
    EXPECT_THROW(XmlValues::toInteger("-2147483649"), EConvertError);
    EXPECT_EQ(messageOf<EConvertError>([] { XmlValues::toUnsigned("9223372036854775808"); }),
              "'9223372036854775808' is out of the range of type (Int64)");
    EXPECT_THROW(XmlValues::toUnsigned("-9223372036854775809"), EConvertError);
    EXPECT_THROW(XmlValues::toUnsigned("99999999999999999999999"), EConvertError);
}

TEST(XmlValuesTest, BooleansAreTrueOrFalseInAnyLetterCase)
{
    EXPECT_TRUE(XmlValues::toBoolean("true"));
    EXPECT_TRUE(XmlValues::toBoolean("TRUE"));
    EXPECT_FALSE(XmlValues::toBoolean("False"));
    EXPECT_FALSE(XmlValues::toBoolean(" false "));
    for (const char *text : {"yes", "1", "0", "truee", "t"})
        EXPECT_EQ(messageOf<EConvertError>([&] { XmlValues::toBoolean(text); }),
                  QStringLiteral("'%1' is not a valid boolean value").arg(text));
}

TEST(XmlValuesTest, NullReadsNameTheWantedType)
{
    for (const char *type : {"Integer", "Int64", "Boolean", "OleStr"})
        EXPECT_EQ(messageOf<EVariantTypeCastError>([&] { XmlValues::throwNull(type); }),
                  QStringLiteral("Could not convert variant of type (Null) into type (%1)").arg(type));
}

TEST(XmlEncodingTest, FindsTheFirstInvalidUtf8Byte)
{
    // Longer than the 32 bytes checked at once, so both the quick and the exact steps run.
    const QByteArray ascii = "0123456789abcdef0123456789abcdef0123456789";
    const qsizetype n = ascii.size();
    const struct
    {
        QByteArray bytes;
        qsizetype offset;
    } cases[] = {
        {ascii, -1},
        {ascii + "\xE2\x82\xAC" + ascii + "\xF0\x9F\x98\x80", -1}, // euro sign, emoji
        {ascii + "\xC4\x8D\xC5\xA1", -1},                          // č š
        {ascii + "\xE8", n},                                       // windows-1250 č
        {"ab\xC0\x80", 2},                                         // overlong zero
        {ascii + "\xED\xA0\x80", n},                               // surrogate
        {"\xF4\x90\x80\x80", 0},                                   // above U+10FFFF
        {ascii + "x\xE2\x82", n + 1},                              // cut short at the end
        {"\xC4" + ascii, 0},                                       // lead without continuation
        {ascii + ascii + "\xFF" + ascii, 2 * n},                   // after several quick steps
    };
    for (const auto &c : cases)
        EXPECT_EQ(XmlEncoding::invalidUtf8Offset(c.bytes.constData(), c.bytes.size()), c.offset)
            << c.bytes.toHex().toStdString();
}

TEST(XmlEncodingTest, ReadsTheDeclaredEncoding)
{
    const struct
    {
        QByteArray bytes;
        QByteArray encoding;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1250\"?><a/>", "windows-1250"},
        {"<?xml version='1.0' encoding='ISO-8859-2' standalone='yes'?><a/>", "ISO-8859-2"},
        {"<?xml version=\"1.0\"  encoding = \"utf-8\" ?><a/>", "utf-8"},
        {"<?xml version=\"1.0\"?><a encoding=\"x\"/>", ""},
        {"<a/>", ""},
        {"<?xml version=\"1.0\" encoding=\"windows-1250'?><a/>", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(XmlEncoding::declaredEncoding(c.bytes), c.encoding) << c.bytes.toStdString();
}

TEST(XmlEncodingTest, PositionsCountLinesAndCharacters)
{
    const QByteArray text = "<a>\n  <b>\xC4\x8D\xC5\xA1x</b>";
    EXPECT_EQ(XmlEncoding::positionText(text.constData(), text.size(), 0), "line 1, column 1");
    EXPECT_EQ(XmlEncoding::positionText(text.constData(), text.size(), text.indexOf('x')),
              "line 2, column 8");
}

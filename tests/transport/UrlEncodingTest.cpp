#include "transport/ElHTTPSClient.h"

#include <gtest/gtest.h>

TEST(EncodeUrlForRequest, EncodesWhatAUrlCannotCarry)
{
    const struct
    {
        QString url;
        QByteArray sent;
    } cases[] = {
        {"https://h/s/MemberAccountPositions?MemberCode=1001",
         "https://h/s/MemberAccountPositions?MemberCode=1001"},
        {"https://h/s/X?Isin=SI0031 102120", "https://h/s/X?Isin=SI0031%20102120"},
        {"https://h/s/X?a=1&b=2;c=[3]~_.-!*'()", "https://h/s/X?a=1&b=2;c=[3]~_.-!*'()"},
        {"https://h/s/X?q=\"<>\\^`{|}", "https://h/s/X?q=%22%3C%3E%5C%5E%60%7B%7C%7D"},
        {"https://h/s/X?q=\t\r\n", "https://h/s/X?q=%09%0D%0A"},
        {QString::fromUtf8("https://h/s/X?Naziv=Dru\xC5\xBE"
                           "ba"),
         "https://h/s/X?Naziv=Dru%C5%BEba"},
        {"https://h/s/X?q=%41%4a", "https://h/s/X?q=%41%4a"},
        {"https://h/s/X?q=100%", "https://h/s/X?q=100%25"},
        {"https://h/s/X?q=%4", "https://h/s/X?q=%254"},
        {"https://h/s/X?q=%zz", "https://h/s/X?q=%25zz"},
        {QString(QChar(0x7F)), "%7F"},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(encodeUrlForRequest(c.url), c.sent) << c.url.toStdString();
}

TEST(ElHTTPSClient, UserAgentCarriesTheVersion)
{
    EXPECT_EQ(ElHTTPSClient::userAgent(), QByteArray("VornImport/") + VORN_VERSION);
}

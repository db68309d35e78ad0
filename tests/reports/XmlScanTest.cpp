#include "reports/XmlScan.h"

#include "reports/XmlWellFormedCheck.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Every byte at every place of a stretch of `filler`: the three paths stop where the table says.
template<const XmlScan::StopSet &set> void expectPathsAgree(const std::string &filler)
{
    for (unsigned byte = 0; byte < 256; ++byte) {
        for (size_t at = 0; at < 40; ++at) {
            std::string text;
            while (text.size() < 48)
                text += filler;
            text.resize(48);
            text[at] = char(byte);
            const char *begin = text.c_str();
            const char *end = begin + text.size();
            const char *expected = set.table[byte] ? begin + at : end;
            for (const char *found : {XmlScan::find<set, XmlScan::Path::Bytes>(begin, end),
                                      XmlScan::find<set, XmlScan::Path::Words>(begin, end),
                                      XmlScan::find<set, XmlScan::Path::Vectors>(begin, end)})
                EXPECT_EQ(found, expected) << byte << " at " << at;
        }
    }
}

} // namespace

TEST(XmlScanTest, EveryPathStopsWhereTheTableSays)
{
    expectPathsAgree<XmlScan::textStops>("value 12 \t\r\n");
    expectPathsAgree<XmlScan::attributeStops>("a-b ]>?");
    expectPathsAgree<XmlScan::commentStops>("<a>&amp;");
    expectPathsAgree<XmlScan::piStops>("x=\"1\"");
    expectPathsAgree<XmlScan::cdataStops>("<&>");
    expectPathsAgree<XmlScan::nameStops>("Name_1.z-Z");
}

TEST(XmlScanTest, Utf8RunsTakeOnlyAllowedCharacters)
{
    const struct
    {
        std::string text;
        size_t run;
    } cases[] = {
        {"\xC4\x8C\xC5\xA0x", 4},
        {"\xF0\x9F\x98\x80\xE2\x80\x93x", 7},
        {"\xEF\xBF\xBDx", 3},
        {"\xEF\xBF\xBE", 0},
        {"\xC4\x8C\xEF\xBF\xBF", 2},
        {"\xED\xA0\x80", 0},
        {"\xE0\x9F\xBF", 0},
        {"\xF4\x90\x80\x80", 0},
        {"\xF0\x8F\xBF\xBF", 0},
        {"\xC0\x80", 0},
        {"\xC4x", 0},
        {"\x80", 0},
        {"\xF4\x8F\xBF\xBF\xED\x9F\xBF", 7},
    };
    for (const auto &c : cases) {
        const std::string text = c.text + "    "; // a run is taken only with four bytes to spare
        EXPECT_EQ(XmlScan::validUtf8Run(text.c_str(), text.c_str() + text.size()), c.run) << c.text;
    }
}

// The quick path for plain content compares and copies names in pieces of 16 bytes.
TEST(XmlScanTest, PlainContentComparesLongNamesWhole)
{
    const std::string name = "MemberAccountPositionsX"; // 23 bytes
    const struct
    {
        std::string text;
        bool wellFormed;
    } cases[] = {
        {"<r><" + name + ">1</" + name + "></r>", true},
        {"<r><" + name + "><a/></" + name + "></r>", true},
        {"<r><" + name + ">1</" + name.substr(0, 22) + "Y></r>", false},
        {"<r><" + name + "><a/></" + name.substr(0, 15) + "Y" + name.substr(16) + "></r>", false},
        {"<r><" + name + ">1</" + name + "Y></r>", false},
        {"<r><" + name + ">1</" + name.substr(0, 16) + "></r>", false},
        {"<r><" + name + "></" + name + " ></r>", true},
    };
    for (const auto &c : cases) {
        XmlWellFormedCheck check;
        check.feed(c.text.c_str(), c.text.size(), true);
        EXPECT_EQ(check.failed(), !c.wellFormed) << c.text << ": " << check.fault().toStdString();
    }
}

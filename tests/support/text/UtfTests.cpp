#include "support/text/Utf.h"

#include <gtest/gtest.h>

namespace {

struct RoundTripCase {
    std::u16string utf16;
    std::string utf8;
};

TEST(Utf, ConvertsBothWaysForWellFormedText) {
    const RoundTripCase cases[] = {
        {u"", ""},
        {u"plain ASCII", "plain ASCII"},
        {u"Gr\u00fc\u00dfe",
         "Gr\xc3\xbc\xc3\x9f"
         "e"},
        {u"\u20ac", "\xe2\x82\xac"},
        {u"\U0001F600", "\xf0\x9f\x98\x80"},  // surrogate pair
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pxLib::Utf16ToUtf8(c.utf16), c.utf8);
        EXPECT_EQ(pxLib::Utf8ToUtf16(c.utf8), c.utf16);
    }
}

TEST(Utf, ReplacesIllFormedInput) {
    const std::u16string loneHigh{u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(pxLib::Utf16ToUtf8(loneHigh),
              "a\xef\xbf\xbd"
              "b");
    const std::u16string loneLow{char16_t(0xDC00)};
    EXPECT_EQ(pxLib::Utf16ToUtf8(loneLow), "\xef\xbf\xbd");

    const struct {
        std::string utf8;
        std::u16string utf16;
    } bad[] = {
        {"\xff", u"\uFFFD"},
        {"\xc3", u"\uFFFD"},  // truncated sequence at the end
        {"\xc3"
         "A",
         u"\uFFFDA"},                     // continuation missing: A is kept
        {"\xc0\x80", u"\uFFFD"},          // overlong NUL
        {"\xed\xa0\x80", u"\uFFFD"},      // encoded surrogate
        {"\xf4\x90\x80\x80", u"\uFFFD"},  // beyond U+10FFFF
    };
    for (const auto& c : bad) EXPECT_EQ(pxLib::Utf8ToUtf16(c.utf8), c.utf16) << c.utf8.size();
}

TEST(Utf, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(pxLib::EqualsIgnoreAsciiCase(u"Setup.EXE", u"setup.exe"));
    EXPECT_FALSE(pxLib::EqualsIgnoreAsciiCase(u"\u00c4", u"\u00e4"));
    EXPECT_FALSE(pxLib::EqualsIgnoreAsciiCase(u"abc", u"abcd"));
    EXPECT_EQ(pxLib::AsciiLower(u"QN/NoReboot"), u"qn/noreboot");
}

}  // namespace

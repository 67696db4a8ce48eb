// Reading "isolate.ini" text: decoding and the profile-style value lookup.
#include "support/isolation/IniText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using pxLib::DecodeIniText;
using pxLib::FindIniValue;

TEST(DecodeIniText, TellsUtf16FromEightBitText) {
    struct Case {
        const char* label;
        std::string bytes;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {"UTF-16LE after FF FE", std::string("\xFF\xFE[\0a\0\x3A\x04", 8), u"[a\u043A"},
        {"odd trailing byte dropped",
         std::string("\xFF\xFE"
                     "a\0b",
                     5),
         u"a"},
        {"mark only", "\xFF\xFE", u""},
        {"plain ASCII", "[isolation]\r\n", u"[isolation]\r\n"},
        {"UTF-8 mark skipped", "\xEF\xBB\xBFsilo=\xC3\xA9", u"silo=\u00E9"},
        {"bad 8-bit sequence",
         "a\xFF"
         "b",
         u"a\uFFFDb"},
        {"one byte FF is not a mark", "\xFF", u"\uFFFD"},
        {"empty", "", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(DecodeIniText(c.bytes), c.text);
    }
}

TEST(FindIniValue, ReadsLikeTheProfileFunctions) {
    struct Case {
        const char* label;
        std::u16string text;
        std::optional<std::u16string> value;  // of "silo" in "isolation"
    };
    const std::vector<Case> cases = {
        {"plain", u"[isolation]\r\nsilo=x\r\n", u"x"},
        {"names in any case", u"[ISOLATION]\nSiLo=x", u"x"},
        {"blanks dropped", u"  [ isolation ]  \n \t silo \t=  x y \t\n", u"x y"},
        {"double quotes removed", u"[isolation]\nsilo=\" x \"", u" x "},
        {"single quotes removed", u"[isolation]\nsilo='x'", u"x"},
        {"unmatched quote kept", u"[isolation]\nsilo=\"x", u"\"x"},
        {"lone quote kept", u"[isolation]\nsilo=\"", u"\""},
        {"empty value", u"[isolation]\nsilo=\nsilo=late", u""},
        {"equals inside the value", u"[isolation]\nsilo=a=b", u"a=b"},
        {"first occurrence wins", u"[isolation]\nsilo=1\nsilo=2", u"1"},
        {"other section first", u"[other]\nsilo=1\n[isolation]\nsilo=2", u"2"},
        {"only in another section", u"[other]\nsilo=1\n[isolation]\nx=2", std::nullopt},
        {"section again later", u"[isolation]\na=1\n[b]\n[isolation]\nsilo=3", u"3"},
        {"before any section", u"silo=1\n[isolation]", std::nullopt},
        {"commented out", u"[isolation]\n;silo=1\n  ; silo=2", std::nullopt},
        {"no equals sign", u"[isolation]\nsilo\n", std::nullopt},
        {"longer key name", u"[isolation]\nsilos=1\nsil=2", std::nullopt},
        {"old Mac line ends", u"[isolation]\rother=0\rsilo=4", u"4"},
        {"header without bracket", u"[isolation\nsilo=5", u"5"},
        {"section name is not a prefix", u"[isolation2]\nsilo=6", std::nullopt},
        {"empty text", u"", std::nullopt},
        {"NUL is an ordinary character", std::u16string(u"[isolation]\nsilo=a\0b", 20),
         std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(FindIniValue(c.text, u"isolation", u"silo"), c.value);
    }
}

TEST(FindIniValue, TakesValuesFromLargeTextsWithoutCopyingLines) {
    std::u16string text = u"[isolation]\n";
    for (int i = 0; i < 10000; ++i) text += u"key" + std::u16string(1, u'a' + i % 26) + u"=v\n";
    text += u"Native64=" + std::u16string(5000, u'1');
    const auto value = FindIniValue(text, u"isolation", u"native64");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->size(), 5000u);
}

}  // namespace

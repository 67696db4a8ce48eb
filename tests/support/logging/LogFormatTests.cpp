#include "support/logging/LogFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::u16string Format(std::u16string_view fmt, std::vector<pxLib::LogArg> args) {
    std::u16string out;
    if (!pxLib::FormatLogText(out, fmt, args.data(), args.size())) return u"<rejected>";
    return out;
}

TEST(LogFormat, FormatsTheConversionsTheLogLinesUse) {
    const struct {
        std::u16string_view fmt;
        std::vector<pxLib::LogArg> args;
        std::u16string_view expected;
    } cases[] = {
        {u"plain", {}, u"plain"},
        {u"100%%", {}, u"100%"},
        {u"hr=0x%08X", {0x80070005u}, u"hr=0x80070005"},
        {u"hr=0x%08x", {0x2a}, u"hr=0x0000002a"},
        {u"%d", {0x80070005u}, u"-2147024891"},  // %d of a 32-bit HRESULT is negative
        {u"%u", {-1}, u"4294967295"},
        {u"%lu", {4000000000u}, u"4000000000"},
        {u"%lld", {int64_t{-5000000000}}, u"-5000000000"},
        {u"%I64u", {uint64_t{1} << 40}, u"1099511627776"},
        {u"0x%04X : ", {0x1a2c}, u"0x1A2C : "},
        {u"0x%04X", {0x12345}, u"0x12345"},
        {u"%04d-%02d-%03d", {2024, 3, 42}, u"2024-03-042"},
        {u"[%5s|%-5s]", {u"ab", u"cd"}, u"[   ab|cd   ]"},
        {u"%s and %s", {u"", static_cast<const char16_t*>(nullptr)}, u" and (null)"},
        {u"%c%c", {u'o', u'k'}, u"ok"},
        {u"%.2s", {u"abc"}, u"ab"},
        {u"err %!WINERROR!", {5u}, u"err 5"},
        {u"hr %!HRESULT!", {0x80004005u}, u"hr 0x80004005"},
        {u"extra ignored %d", {1, 2}, u"extra ignored 1"},
        // Control characters an argument brings cannot start a forged line; the
        // format's own line ends stay.
        {u"machine name %s left out\n",
         {u"PC\r\nqvd::x(1) : forged"},
         u"machine name PC\\x0D\\x0Aqvd::x(1) : forged left out\n"},
        {u"[%s]", {u"a\tb\x7f\x1b"}, u"[a\\x09b\\x7F\\x1B]"},
        {u"[%-6s]", {u"\n"}, u"[\\x0A  ]"},
        // Line breaks that end the whole message start no line and stay.
        {u"%s", {u"a\r\nb\r\n"}, u"a\\x0D\\x0Ab\r\n"},
        {u"%s.", {u"a\n"}, u"a\\x0A."},
    };
    for (const auto& c : cases) EXPECT_EQ(Format(c.fmt, c.args), c.expected);
}

TEST(LogFormat, RejectsFormatsThatDoNotMatchTheirArguments) {
    const struct {
        std::u16string_view fmt;
        std::vector<pxLib::LogArg> args;
    } cases[] = {
        {u"%d", {}},         // missing argument
        {u"%s", {5}},        // number for a string
        {u"%d", {u"text"}},  // string for a number
        {u"%", {}},          // truncated
        {u"%q", {1}},        // unknown conversion
        {u"%99999d", {1}},   // absurd width
        {u"%!NOSUCH!", {1}},
    };
    for (const auto& c : cases) {
        std::u16string out = u"kept";
        EXPECT_FALSE(pxLib::FormatLogText(out, c.fmt, c.args.data(), c.args.size()));
        EXPECT_EQ(out, u"kept");
    }
}

}  // namespace

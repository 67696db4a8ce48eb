// The token loop and the backslash cleaning over a resolver of our own.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/paths/PathTokens.h"
#include "support/text/Utf.h"

namespace {

using Names = std::map<std::u16string, std::u16string>;

// Answers from a table and remembers every name it was asked for.
struct TableResolver {
    Names names;
    std::vector<std::u16string> asked;

    pxLib::PathNameResolver Callback() {
        return [this](const std::u16string& name, std::u16string& value) {
            asked.push_back(name);
            const auto it = names.find(name);
            if (it == names.end()) return false;
            value = it->second;
            return true;
        };
    }
};

std::string Utf8(const std::u16string& text) {
    return pxLib::Utf16ToUtf8(text);
}

struct ExpansionCase {
    const char16_t* input;
    Names names;
    bool ok;
    const char16_t* output;
};

void Check(const ExpansionCase& c) {
    SCOPED_TRACE(Utf8(c.input));
    TableResolver resolver{c.names, {}};
    std::u16string output = u"<untouched>";
    EXPECT_EQ(pxLib::ExpandPathTokens(c.input, resolver.Callback(), output), c.ok);
    EXPECT_EQ(Utf8(output), Utf8(c.output));
}

TEST(ExpandPathTokens, ReplacesTokensByTheirValues) {
    const ExpansionCase cases[] = {
        {u"%INSTALLDIR%\\ucrtbase.dll",
         {{u"INSTALLDIR", u"C:\\Program Files\\Prod\\"}},
         true,
         u"C:\\Program Files\\Prod\\ucrtbase.dll"},
        {u"%installdir%\\x", {{u"INSTALLDIR", u"C:\\P"}}, true, u"C:\\P\\x"},
        {u"%InstallDir%\\x", {{u"INSTALLDIR", u"C:\\P"}}, true, u"C:\\P\\x"},
        {u"pre%A%post", {{u"A", u"-"}}, true, u"pre-post"},
        {u"%A%\\%B%", {{u"A", u"a"}, {u"B", u"b"}}, true, u"a\\b"},
        // One spelling written twice is one name expanded once.
        {u"%A%\\%A%", {{u"A", u"v"}}, true, u"v\\v"},
        // Values may hold tokens of other names.
        {u"%A%\\x", {{u"A", u"%B%\\y"}, {u"B", u"C:"}}, true, u"C:\\y\\x"},
        {u"%A%", {{u"A", u"%B%%C%"}, {u"B", u"1"}, {u"C", u"2"}}, true, u"12"},
        {u"no tokens at all", {}, true, u"no tokens at all"},
        {u"%A%", {{u"A", u""}}, true, u""},
        {u"\\\\server\\share\\%X%", {{u"X", u"dir"}}, true, u"\\\\server\\share\\dir"},
        {u"%X%\\share", {{u"X", u"\\\\server\\"}}, true, u"\\\\server\\share"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(ExpandPathTokens, RefusesRepeatedNamesAndGivesTheInputBack) {
    const ExpansionCase cases[] = {
        // A second spelling of a name already expanded.
        {u"%A%\\%a%", {{u"A", u"v"}}, false, u"%A%\\%a%"},
        // A value naming itself, and a cycle of two.
        {u"%A%", {{u"A", u"x%A%"}}, false, u"%A%"},
        {u"%A%\\x", {{u"A", u"%B%"}, {u"B", u"%A%"}}, false, u"%A%\\x"},
        {u"%A%", {{u"A", u"%a%"}}, false, u"%A%"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(ExpandPathTokens, RefusesBrokenTokens) {
    const ExpansionCase cases[] = {
        {u"C:\\dir%", {}, false, u"C:\\dir%"},
        {u"%A%\\dir%", {{u"A", u"a"}}, false, u"%A%\\dir%"},
        {u"%INSTALLDIR\\x", {{u"INSTALLDIR", u"a"}}, false, u"%INSTALLDIR\\x"},
        {u"a%%b", {}, false, u"a%%b"},
        {u"%%%", {}, false, u"%%%"},
        {u"%UNKNOWN%\\x", {}, false, u"%UNKNOWN%\\x"},
        // A value leaving a lone percent sign behind.
        {u"%A%x", {{u"A", u"50%"}}, false, u"%A%x"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(ExpandPathTokens, ReturnsShortInputsUnchanged) {
    const ExpansionCase cases[] = {
        {u"", {}, true, u""},         {u"%", {}, true, u"%"},   {u"%%", {}, true, u"%%"},
        {u"\\\\", {}, true, u"\\\\"}, {u"a%", {}, true, u"a%"},
    };
    for (const auto& c : cases) Check(c);
}

TEST(ExpandPathTokens, CleansTheOutputOnFailureToo) {
    Check({u"C:\\\\dir\\\\%Q%\\\\x", {}, false, u"C:\\dir\\%Q%\\x"});
    Check({u"\\\\\\srv\\\\%Q%", {}, false, u"\\\\srv\\%Q%"});
}

TEST(ExpandPathTokens, AsksForUpperCaseNamesAndStopsAtTheFirstFailure) {
    TableResolver resolver{{{u"A", u"a"}}, {}};
    std::u16string output;
    EXPECT_FALSE(pxLib::ExpandPathTokens(u"%a%\\%bB%\\%c%", resolver.Callback(), output));
    EXPECT_EQ(resolver.asked, (std::vector<std::u16string>{u"A", u"BB"}));
}

TEST(ExpandPathTokens, StopsValuesThatDoubleAtEveryRound) {
    // N0 = %N1%%N1%, N1 = %N2%%N2%, ...: 2^40 characters without a bound.
    Names names;
    const int depth = 40;
    for (int i = 0; i < depth; ++i) {
        const std::u16string next = u"%N" + pxLib::Utf8ToUtf16(std::to_string(i + 1)) + u"%";
        names[u"N" + pxLib::Utf8ToUtf16(std::to_string(i))] = next + next;
    }
    names[u"N" + pxLib::Utf8ToUtf16(std::to_string(depth))] = u"x";
    TableResolver resolver{names, {}};
    std::u16string output;
    EXPECT_FALSE(pxLib::ExpandPathTokens(u"%N0%", resolver.Callback(), output));
    EXPECT_EQ(Utf8(output), "%N0%");
}

TEST(ExpandPathTokens, AcceptsResultsUpToTheLongestPath) {
    const size_t longest = pxLib::kMaxExpandedPathChars;
    std::u16string output;
    TableResolver fits{{{u"A", std::u16string(longest - 1, u'x')}}, {}};
    EXPECT_TRUE(pxLib::ExpandPathTokens(u"%A%y", fits.Callback(), output));
    EXPECT_EQ(output.size(), longest);
    TableResolver tooLong{{{u"A", std::u16string(longest, u'x')}}, {}};
    EXPECT_FALSE(pxLib::ExpandPathTokens(u"%A%y", tooLong.Callback(), output));
    EXPECT_EQ(Utf8(output), "%A%y");
}

TEST(CleanPathBackslashes, CollapsesRunsButKeepsAUncPrefix) {
    const struct {
        const char16_t* path;
        const char16_t* cleaned;
    } cases[] = {
        {u"C:\\\\a\\\\\\b", u"C:\\a\\b"},
        {u"C:\\a\\", u"C:\\a\\"},
        {u"C:\\a\\\\", u"C:\\a\\"},
        {u"\\\\server\\\\share", u"\\\\server\\share"},
        {u"\\\\\\\\server", u"\\\\server"},
        {u"\\single", u"\\single"},
        {u"\\\\", u"\\\\"},
        {u"\\", u"\\"},
        {u"", u""},
        {u"a\\\\\\\\", u"a\\"},
    };
    for (const auto& c : cases) {
        std::u16string path = c.path;
        pxLib::CleanPathBackslashes(path);
        EXPECT_EQ(Utf8(path), Utf8(c.cleaned)) << Utf8(c.path);
    }
}

TEST(PathTokens, OnlyACompleteAbsolutePathNamesAModuleToLoad) {
    const struct {
        const char16_t* path;
        bool complete;
    } cases[] = {
        {u"C:\\Program Files\\pxSet.dll", true},
        {u"z:\\x.dll", true},
        {u"\\\\server\\share\\x.dll", true},
        {u"\\\\?\\C:\\x.dll", true},
        {u"%PXROOTX64%\\pxSet.dll", false},  // a token left
        {u"C:\\a\\%b%\\x.dll", false},       // one inside
        {u"C:\\100%\\x.dll", false},         // a lone percent sign
        {u"pxSet.dll", false},               // the search path's
        {u"sub\\pxSet.dll", false},          // the current folder's
        {u"C:pxSet.dll", false},             // the drive's current folder
        {u"\\pxSet.dll", false},             // the current drive's root
        {u"\\\\\\x.dll", false},
        {u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pxLib::IsCompleteAbsolutePath(c.path), c.complete) << Utf8(c.path);
}

}  // namespace

#include "support/cmdline/pxCommandLine.h"
#include "support/logging/TraceRecorder.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pxLib::CCommandLine;

// One entry per element: "S name|text" for a switch, "P name|text" for a plain word.
std::vector<std::string> Render(const CCommandLine& line) {
    std::vector<std::string> out;
    for (const auto& e : line.GetEntries()) {
        out.push_back(std::string(e.m_bSwitch ? "S " : "P ") + pxLib::Utf16ToUtf8(e.m_strName) +
                      "|" + pxLib::Utf16ToUtf8(e.m_strText));
    }
    return out;
}

// Error-level events of the splitter, by number.
constexpr uint16_t kNoEvent = 0;
constexpr uint16_t kEventNoText = 1;
constexpr uint16_t kEventUnclosedQuote = 3;
constexpr uint16_t kEventLoneSwitchCharacter = 4;
constexpr uint16_t kEventSwitchWithoutValue = 5;

// Records the events a session listening at error level would get.
class ErrorEvents {
public:
    std::vector<uint16_t> TakeNumbers() {
        std::vector<uint16_t> numbers;
        for (const auto& e : m_recorder.events) numbers.push_back(e.messageNumber);
        m_recorder.events.clear();
        return numbers;
    }

private:
    qvdtest::TraceRecorder m_recorder;
    qvdtest::ScopedTraceSession m_session{static_cast<uint8_t>(pxLib::TraceLevel::Error), 1};
};

std::vector<uint16_t> Events(uint16_t number) {
    return number == kNoEvent ? std::vector<uint16_t>{} : std::vector<uint16_t>{number};
}

struct SplitCase {
    const char16_t* text;
    bool parses;
    std::vector<std::string> entries;
    uint16_t event = kNoEvent;
};

TEST(CommandLineSplit, WordsNamesAndTexts) {
    const SplitCase cases[] = {
        // Runs of blanks are one separator; blanks at either end make no word.
        {u"setup.exe  /s   -v", true, {"P setup.exe|setup.exe", "S s|/s", "S v|-v"}},
        {u"   a   ", true, {"P a|a"}},
        {u"     ", true, {}},
        // Only U+0020 separates.
        {u"a\tb\u00a0c", true, {"P a\tb\u00a0c|a\tb\u00a0c"}},
        // A quoted path keeps its blanks; its name loses the quotes, its text keeps them.
        {u"\"C:\\Program Files\\App\\setup.exe\" /resume",
         true,
         {"P C:\\Program Files\\App\\setup.exe|\"C:\\Program Files\\App\\setup.exe\"",
          "S resume|/resume"}},
        {u"\"a   b\"  c", true, {"P a   b|\"a   b\"", "P c|c"}},
        {u"x \"one\" \"\"", true, {"P x|x", "P one|\"one\"", "P |\"\""}},
        // A lone quote runs on to the next one.
        {u"a \" b\" c", true, {"P a|a", "P  b|\" b\"", "P c|c"}},
        // The closing quote ends the word even inside what looks like the next one.
        {u"\"a b\"c d", true, {"P a b|\"a b\"", "P c|c", "P d|d"}},
        {u"\"a\"b c\"", true, {"P a\"b c|\"a\"b c\""}},
        // A quoted word is plain even when a switch character follows the quote.
        {u"\"/s\" -x", true, {"P /s|\"/s\"", "S x|-x"}},
        // Quotes inside a word that does not begin with one are ordinary.
        {u"ab\"cd /v\"x y\"", true, {"P ab\"cd|ab\"cd", "S v\"x|/v\"x", "P y\"|y\""}},
        {u"--x /-y", true, {"S -x|--x", "S -y|/-y"}},
        // Quotes never closed.
        {u"\"C:\\Program Files\\App\\setup.exe /resume", false, {}, kEventUnclosedQuote},
        {u"a \"b", false, {}, kEventUnclosedQuote},
        {u"a \"", false, {}, kEventUnclosedQuote},
        {u"\"", false, {}, kEventUnclosedQuote},
        {u"\"ok\" \"open ", false, {}, kEventUnclosedQuote},
        // A switch character alone.
        {u"a - b", false, {}, kEventLoneSwitchCharacter},
        {u"a / b", false, {}, kEventLoneSwitchCharacter},
        {u"/", false, {}, kEventLoneSwitchCharacter},
        {u"a -", false, {}, kEventLoneSwitchCharacter},
        {u"", false, {}, kEventNoText},
    };
    ErrorEvents events;
    for (const auto& c : cases) {
        SCOPED_TRACE(pxLib::Utf16ToUtf8(c.text));
        CCommandLine line;
        EXPECT_EQ(line.Parse(c.text, u"/-"), c.parses);
        EXPECT_EQ(Render(line), c.entries);
        EXPECT_EQ(events.TakeNumbers(), Events(c.event));
    }
}

TEST(CommandLineSplit, SwitchCharactersComeFromTheCaller) {
    CCommandLine line;
    ASSERT_TRUE(line.Parse(u"a +b /c -d", u"+"));
    EXPECT_EQ(Render(line), (std::vector<std::string>{"P a|a", "S b|+b", "P /c|/c", "P -d|-d"}));
}

TEST(CommandLineSplit, RejectsMissingTextOrSwitchCharacters) {
    ErrorEvents events;
    CCommandLine line;
    EXPECT_FALSE(line.Parse(static_cast<const char16_t*>(nullptr), u"/-"));
    EXPECT_FALSE(line.Parse(u"a /b", static_cast<const char16_t*>(nullptr)));
    EXPECT_FALSE(line.Parse(u"a /b", u""));
    EXPECT_TRUE(line.GetEntries().empty());
    EXPECT_EQ(events.TakeNumbers(),
              (std::vector<uint16_t>{kEventNoText, kEventNoText, kEventNoText}));
}

TEST(CommandLineSplit, EachParseReplacesTheEntries) {
    CCommandLine line;
    ASSERT_TRUE(line.Parse(u"first /one /two", u"/-"));
    ASSERT_TRUE(line.Parse(u"second", u"/-"));
    EXPECT_EQ(Render(line), (std::vector<std::string>{"P second|second"}));
    // A failure part-way leaves no entries behind, not the words before it.
    EXPECT_FALSE(line.Parse(u"third /x - y", u"/-"));
    EXPECT_TRUE(line.GetEntries().empty());
}

TEST(CommandLineSplit, ThePointerFormStopsAtTheFirstNul) {
    const std::u16string text(u"a /b\0/c", 7);
    CCommandLine line;
    ASSERT_TRUE(line.Parse(text.c_str(), u"/-"));
    EXPECT_EQ(Render(line), (std::vector<std::string>{"P a|a", "S b|/b"}));
    ASSERT_TRUE(line.Parse(std::u16string_view(text), u"/-"));
    EXPECT_EQ(line.GetEntries().size(), 2u);
    EXPECT_EQ(line.GetEntries()[1].m_strName, std::u16string(u"b\0/c", 4));
}

TEST(CommandLineSwitches, MatchByNameWithoutRegardToCase) {
    CCommandLine line;
    ASSERT_TRUE(line.Parse(u"setup.exe -Q /q \"/quoted\" plain", u"/-"));
    const struct {
        const char16_t* name;
        bool present;
    } cases[] = {
        {u"q", true},        {u"Q", true},      {u"quoted", false},
        {u"/quoted", false}, {u"plain", false}, {u"setup.exe", false},
        {u"", false},        {u"qq", false},    {u"-Q", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(pxLib::Utf16ToUtf8(c.name));
        EXPECT_EQ(line.HasSwitch(c.name), c.present);
    }
}

TEST(CommandLineSwitches, ValuesAreThePlainWordsAfterEachMatch) {
    CCommandLine line;
    ASSERT_TRUE(line.Parse(
        u"host.exe /WIN10_UPGRADE \"10.0 beta\" -noui /Token abc /token def /tray -q", u"/-"));
    const struct {
        const char16_t* name;
        bool ok;
        std::vector<std::u16string> values;
        uint16_t event;
    } cases[] = {
        {u"win10_upgrade", true, {u"10.0 beta"}, kNoEvent},
        {u"TOKEN", true, {u"abc", u"def"}, kNoEvent},
        {u"noui", false, {}, kEventSwitchWithoutValue},  // followed by another switch
        {u"tray", false, {}, kEventSwitchWithoutValue},  // likewise
        {u"q", false, {}, kEventSwitchWithoutValue},     // the last entry
        {u"absent", false, {}, kNoEvent},                // no such switch: not a fault
        {u"host.exe", false, {}, kNoEvent},
        {u"", false, {}, kNoEvent},
    };
    ErrorEvents events;
    for (const auto& c : cases) {
        SCOPED_TRACE(pxLib::Utf16ToUtf8(c.name));
        std::vector<std::u16string> values;
        EXPECT_EQ(line.GetSwitchValues(c.name, values), c.ok);
        if (c.ok) {
            EXPECT_EQ(values, c.values);
        }
        EXPECT_EQ(events.TakeNumbers(), Events(c.event));
    }
}

TEST(CommandLineSwitches, ValuesAreAppended) {
    CCommandLine line;
    ASSERT_TRUE(line.Parse(u"/v one", u"/-"));
    std::vector<std::u16string> values{u"zero"};
    ASSERT_TRUE(line.GetSwitchValues(u"V", values));
    EXPECT_EQ(values, (std::vector<std::u16string>{u"zero", u"one"}));
}

TEST(CommandLineSwitches, AFailedParseHasNoSwitches) {
    CCommandLine line;
    EXPECT_FALSE(line.Parse(u"/noui \"unclosed", u"/-"));
    EXPECT_FALSE(line.HasSwitch(u"noui"));
    std::vector<std::u16string> values;
    EXPECT_FALSE(line.GetSwitchValues(u"noui", values));
}

}  // namespace

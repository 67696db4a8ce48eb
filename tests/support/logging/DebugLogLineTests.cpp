// Line assembly, option application with the module filter, and the log
// file's name: the platform-independent half of the debug log.
#include "support/logging/DebugLogLine.h"
#include "support/logging/DebugOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using pxLib::DebugLogSettings;
using pxLib::LogType;
using pxLib::pxTavDebugOptions;

pxLib::LogStamp Stamp() {
    pxLib::LogStamp s;
    s.m_year = 2024, s.m_month = 3, s.m_day = 5;
    s.m_hour = 14, s.m_minute = 7, s.m_second = 9, s.m_milliseconds = 42;
    s.m_processId = 0x1A2C;
    s.m_threadId = 0x0F10;
    return s;
}

DebugLogSettings Applied(const pxTavDebugOptions& options) {
    DebugLogSettings settings;
    pxLib::ApplyDebugOptions(options, settings);
    return settings;
}

std::u16string Line(const DebugLogSettings& settings, LogType type, std::u16string_view format,
                    std::vector<pxLib::LogArg> args = {}) {
    std::u16string line = u"<dropped>";
    // A line the settings drop leaves the marker.
    static_cast<void>(
        pxLib::BuildLogLine(settings, type, Stamp(), format, args.data(), args.size(), line));
    return line;
}

TEST(DebugLogLine, AllDefaultsGiveEveryPrefixInItsOrder) {
    pxTavDebugOptions options;
    options.m_dwDebugType = 1;
    EXPECT_EQ(Line(Applied(options), LogType::Error, u"StaticVerifyTrustFactory(%d) : %s",
                   {54, u"spTrust==NULL"}),
              u"2024-03-05-14-07-09-042 : QVDPlugin : 0x1A2C : 0x0F10 : Error : "
              u"StaticVerifyTrustFactory(54) : spTrust==NULL\r\n");
}

TEST(DebugLogLine, EachOptionAddsOnlyItsOwnPart) {
    pxTavDebugOptions none;
    none.m_dwDebugType = 1;
    none.m_bPrependThreadId = none.m_bPrependProcessId = none.m_bPrependDateTime = false;
    none.m_bPrependModuleName = none.m_bAppendNewLine = none.m_bPrependType = false;
    const struct {
        bool pxTavDebugOptions::*option;
        LogType type;
        std::u16string_view expected;
    } cases[] = {
        {nullptr, LogType::Error, u"msg"},
        {&pxTavDebugOptions::m_bPrependDateTime, LogType::Error, u"2024-03-05-14-07-09-042 : msg"},
        {&pxTavDebugOptions::m_bPrependModuleName, LogType::Error, u"QVDPlugin : msg"},
        {&pxTavDebugOptions::m_bPrependProcessId, LogType::Error, u"0x1A2C : msg"},
        {&pxTavDebugOptions::m_bPrependThreadId, LogType::Error, u"0x0F10 : msg"},
        {&pxTavDebugOptions::m_bPrependType, LogType::Information, u"Information : msg"},
        {&pxTavDebugOptions::m_bPrependType, LogType::Warning, u"Warning : msg"},
        {&pxTavDebugOptions::m_bPrependType, LogType::Error, u"Error : msg"},
        {&pxTavDebugOptions::m_bPrependType, static_cast<LogType>(7), u"msg"},
        {&pxTavDebugOptions::m_bAppendNewLine, LogType::Error, u"msg\r\n"},
    };
    for (const auto& c : cases) {
        pxTavDebugOptions options = none;
        if (c.option) options.*c.option = true;
        EXPECT_EQ(Line(Applied(options), c.type, u"msg"), c.expected);
    }
}

TEST(DebugLogLine, IdsUseUpperCaseHexWithAtLeastFourDigits) {
    pxTavDebugOptions options;
    options.m_dwDebugType = 1;
    options.m_bPrependDateTime = options.m_bPrependModuleName = options.m_bPrependType = false;
    options.m_bAppendNewLine = false;
    pxLib::LogStamp stamp = Stamp();
    stamp.m_processId = 0xA;
    stamp.m_threadId = 0xABCDEF;
    std::u16string line;
    ASSERT_TRUE(
        pxLib::BuildLogLine(Applied(options), LogType::Error, stamp, u"x", nullptr, 0, line));
    EXPECT_EQ(line, u"0x000A : 0xABCDEF : x");
}

TEST(DebugLogLine, AnEmptyNameAddsNoModulePrefix) {
    pxTavDebugOptions options;
    options.m_dwDebugType = 1;
    options.m_bPrependDateTime = options.m_bPrependProcessId = options.m_bPrependThreadId = false;
    DebugLogSettings settings = Applied(options);
    settings.m_name.clear();
    EXPECT_EQ(Line(settings, LogType::Warning, u"m"), u"Warning : m\r\n");
}

TEST(DebugLogLine, TrailingLineBreaksBecomeExactlyOneCrLf) {
    pxTavDebugOptions options;
    options.m_dwDebugType = 1;
    options.m_bPrependDateTime = options.m_bPrependModuleName = options.m_bPrependType = false;
    options.m_bPrependProcessId = options.m_bPrependThreadId = false;
    const DebugLogSettings settings = Applied(options);
    EXPECT_EQ(Line(settings, LogType::Error, u"a\n"), u"a\r\n");
    EXPECT_EQ(Line(settings, LogType::Error, u"a\r\n\r\n\n\r"), u"a\r\n");
    EXPECT_EQ(Line(settings, LogType::Error, u"a\nb"), u"a\nb\r\n");
    EXPECT_EQ(Line(settings, LogType::Error, u"%s", {u"text\n"}), u"text\r\n");
    options.m_bAppendNewLine = false;
    EXPECT_EQ(Line(Applied(options), LogType::Error, u"a\n"), u"a\n");
}

TEST(DebugLogLine, AMessageThatCannotBeFormattedIsDropped) {
    pxTavDebugOptions options;
    options.m_dwDebugType = 1;
    const DebugLogSettings settings = Applied(options);
    EXPECT_EQ(Line(settings, LogType::Error, u"missing %s"), u"<dropped>");
    EXPECT_EQ(Line(settings, LogType::Error, u"wrong kind %d", {u"text"}), u"<dropped>");
}

TEST(DebugOptions, DebugTypeSetsTheLevelAndTheModuleFilterCanOverrideIt) {
    const struct {
        const char* name;
        uint32_t debugType;
        bool exclusive;
        pxLib::NamedDwords modules;
        uint32_t level;
    } cases[] = {
        {"defaults", 0, false, {}, 0},
        {"errors only", 3, false, {}, 3},
        {"exclusive, only another module", 1, true, {{u"pxSet", 1}}, 0},
        {"exclusive, this module listed", 2, true, {{u"pxSet", 1}, {u"QVDPlugin", 1}}, 2},
        {"exclusive, any case", 2, true, {{u"qvdplugin", 7}}, 2},
        {"exclusive with no entries", 1, true, {}, 1},
        {"this module off", 1, false, {{u"QVDPlugin", 0}}, 0},
        {"this module off although exclusive", 1, true, {{u"QVDPLUGIN", 0}}, 0},
        {"another module off", 1, false, {{u"pxSet", 0}}, 1},
        {"listed but the type is off", 0, false, {{u"QVDPlugin", 1}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pxTavDebugOptions options;
        options.m_dwDebugType = c.debugType;
        options.m_bExclusiveModules = c.exclusive;
        options.m_modules = c.modules;
        EXPECT_EQ(Applied(options).m_level, c.level);
    }
}

TEST(DebugOptions, TheLoggerIsOffAndSilentUntilOptionsAreApplied) {
    const DebugLogSettings fresh;
    EXPECT_EQ(fresh.m_level, 0u);
    EXPECT_EQ(fresh.m_name, u"QVDPlugin");
    EXPECT_FALSE(fresh.m_outputToDebugger || fresh.m_outputToFile ||
                 fresh.m_appendProcessIdToFile || fresh.m_appendNewLine);
    const DebugLogSettings defaults = Applied(pxTavDebugOptions());
    EXPECT_TRUE(defaults.m_outputToDebugger);
    EXPECT_FALSE(defaults.m_outputToFile);
    EXPECT_TRUE(defaults.m_appendProcessIdToFile);
}

TEST(DebugOptions, OnlyANonEmptyDirectoryReplacesTheLoggers) {
    DebugLogSettings settings;
    settings.m_directory = u"C:\\before";
    pxLib::ApplyDebugOptions(pxTavDebugOptions(), settings);
    EXPECT_EQ(settings.m_directory, u"C:\\before");
    pxTavDebugOptions options;
    options.m_strDirectory = u"D:\\logs";
    pxLib::ApplyDebugOptions(options, settings);
    EXPECT_EQ(settings.m_directory, u"D:\\logs");
}

TEST(DebugOptions, MissingNameAndDirectoryComeFromTheExecutable) {
    DebugLogSettings settings;
    settings.m_name.clear();
    pxLib::FillMissingNames(u"C:\\Program Files\\Engine\\zolt.host.exe", settings);
    EXPECT_EQ(settings.m_name, u"zolt.host");
    EXPECT_EQ(settings.m_directory, u"C:\\Program Files\\Engine\\");

    DebugLogSettings named;
    named.m_directory = u"D:\\logs";
    pxLib::FillMissingNames(u"C:\\engine\\host.exe", named);
    EXPECT_EQ(named.m_name, u"QVDPlugin");
    EXPECT_EQ(named.m_directory, u"D:\\logs");
}

TEST(DebugLogFile, NameFollowsDirectoryNameAndProcessId) {
    DebugLogSettings settings;
    settings.m_directory = u"C:\\engine\\";
    settings.m_appendProcessIdToFile = true;
    EXPECT_EQ(pxLib::LogFilePath(settings, 0x1A2C), u"C:\\engine\\QVDPlugin-0x1A2C.log");
    EXPECT_EQ(pxLib::LogFilePath(settings, 0x1F), u"C:\\engine\\QVDPlugin-0x001F.log");
    settings.m_directory = u"D:\\logs\\\\\\";
    settings.m_appendProcessIdToFile = false;
    EXPECT_EQ(pxLib::LogFilePath(settings, 0x1A2C), u"D:\\logs\\QVDPlugin.log");
}

}  // namespace

#ifndef _WIN32
namespace {
// Without a registry there are no options: the module's log stays off.
TEST(DebugLog, NativeBuildWritesNothing) {
    EXPECT_FALSE(pxLib::IsLogEnabled(LogType::Error));
    pxLib::LogError(u"Test::Run(%d) : %s", 1, u"never formatted");
    EXPECT_FALSE(pxLib::IsLogEnabled(LogType::Information));
}
}  // namespace
#endif

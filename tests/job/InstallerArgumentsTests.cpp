// The installer's argument string: pieces, order, quoting, the strip flag, and
// the pieces left out because job or host data would break out of them.
#include "JobOutcome.h"
#include "job/InstallerArguments.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "support/system/UniqueHandle.h"

#include <shellapi.h>
#endif

namespace {

using qvd::job::BuildInstallerArguments;
using qvd::job::HostProcess;
using qvd::job::InstallerArguments;
using qvd::job::JobReader;

struct Host {
    const char16_t* commandLine;          // the host process's own line
    const char16_t* imagePath = nullptr;  // null: it cannot be read
};

InstallerArguments Build(const char* job, const Host& host) {
    const Json::Value value = qvdtest::JobFromUtf8(job);
    HostProcess process;
    process.parsed = process.commandLine.Parse(host.commandLine, u"/-");
    const char16_t* image = host.imagePath;
    process.readImagePath = [image](std::u16string& path) {
        if (!image) return false;
        path = image;
        return true;
    };
    return BuildInstallerArguments(JobReader{value}, process);
}

struct Case {
    const char* name;
    const char* job;
    Host host;
    std::u16string text;
    bool strip;
};

void ExpectCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const InstallerArguments args = Build(c.job, c.host);
        EXPECT_EQ(qvdtest::Text(args.text), qvdtest::Text(c.text));
        EXPECT_EQ(args.strip, c.strip);
    }
}

TEST(InstallerArguments, PiecesComeInTheirOrderAndSpelling) {
    ExpectCases({
        {"silent run with a machine name",
         R"({"product_data": {"command_line": "/s"}, "distribution": {"machinename": "PC1"}})",
         {u"host.exe /noui"},
         u"/s /qn /notray /showerrors 2 /noreboot /machinename PC1",
         false},
        {"nothing at all without product_data",
         R"({"distribution": {"machinename": "PC1", "token": "t"}})",
         {u"host.exe /noui /WIN10_UPGRADE v"},
         u"",
         false},
        {"pieces without job arguments",
         R"({"product_data": {}, "distribution": {"token": "abc", "machinename": "M"}})",
         {u"host.exe"},
         u" /token \"abc\" /machinename M",
         false},
        {"ebe_token wins over token",
         R"({"product_data": {"command_line": "/x"},
             "distribution": {"token": "plain", "ebe_token": "ebe"}})",
         {u"host.exe"},
         u"/x /token \"ebe\"",
         false},
        {"a host line that does not parse gives no host switches",
         R"({"product_data": {"command_line": "/x"}})",
         {u"host.exe \"unclosed /noui"},
         u"/x",
         false},
    });
}

TEST(InstallerArguments, SilentSwitchesAreTestedOnOneLowerCaseCopy) {
    ExpectCases({
        {"qn in capitals",
         R"({"product_data": {"command_line": "/QN"}})",
         {u"h /NOUI"},
         u"/QN /notray /showerrors 2 /noreboot",
         false},
        {"a longer word beginning with noreboot",
         R"({"product_data": {"command_line": "/norebootplease"}})",
         {u"h -noui"},
         u"/norebootplease /qn /notray /showerrors 2",
         false},
        {"all four present already",
         R"({"product_data": {"command_line": "/qn /NoTray /ShowErrors 1 /noreboot"}})",
         {u"h /noui"},
         u"/qn /NoTray /ShowErrors 1 /noreboot",
         false},
    });
}

TEST(InstallerArguments, UpgradeValueIsPassedInQuotesAndAsksForTheStrip) {
    ExpectCases({
        {"upgrade",
         R"({"product_data": {"command_line": "/qn /log x"}})",
         {u"host.exe /WIN10_UPGRADE \"C:\\new build\""},
         u"/qn /log x /WIN10_UPGRADE \"C:\\new build\"",
         true},
        {"automation keeps the switches",
         R"({"product_data": {"command_line": "/qn WIN10_AUTOMATION_TEST"}})",
         {u"host.exe /win10_upgrade v2"},
         u"/qn WIN10_AUTOMATION_TEST /WIN10_UPGRADE \"v2\"",
         false},
        {"noui clears the strip",
         R"({"product_data": {}})",
         {u"host.exe /WIN10_UPGRADE v2 /noui"},
         u" /WIN10_UPGRADE \"v2\" /qn /notray /showerrors 2 /noreboot",
         false},
        {"an upgrade switch without a value is absent",
         R"({"product_data": {}})",
         {u"host.exe /WIN10_UPGRADE /other"},
         u"",
         false},
    });
}

TEST(InstallerArguments, HostPathReplacesEveryToken) {
    ExpectCases({
        {"twice",
         R"({"product_data": {"command_line": "/a=%QVDPATH% /b=%QVDPATH%"}})",
         {u"h", u"C:\\Engine\\host.exe"},
         u"/a=C:\\Engine\\host.exe /b=C:\\Engine\\host.exe",
         false},
        {"case-sensitive",
         R"({"product_data": {"command_line": "/a=%qvdpath%"}})",
         {u"h", u"C:\\host.exe"},
         u"/a=%qvdpath%",
         false},
        {"unreadable path leaves the text",
         R"({"product_data": {"command_line": "/a=%QVDPATH%"}})",
         {u"h", nullptr},
         u"/a=%QVDPATH%",
         false},
    });
}

// Job and host data must not add words of their own to an elevated installer's
// command line: such a piece is left out and the rest is built as usual.
TEST(InstallerArguments, PiecesThatWouldBreakOutAreLeftOut) {
    ExpectCases({
        {"quote in the token",
         R"({"product_data": {"command_line": "/s"},
             "distribution": {"token": "abc\" /evil \"x", "machinename": "PC1"}})",
         {u"h"},
         u"/s /machinename PC1",
         false},

        {"blank in the machine name",
         R"({"product_data": {}, "distribution": {"machinename": "PC1 /evil", "token": "t"}})",
         {u"h"},
         u" /token \"t\"",
         false},
        {"quote in the machine name",
         R"({"product_data": {}, "distribution": {"machinename": "PC\"1"}})",
         {u"h"},
         u"",
         false},
        {"tab in the machine name",
         R"({"product_data": {}, "distribution": {"machinename": "PC\t1"}})",
         {u"h"},
         u"",
         false},
        {"quote in the upgrade value",
         R"({"product_data": {"command_line": "/qn"}})",
         {u"h /WIN10_UPGRADE x\""},
         u"/qn",
         false},
        {"quote inside a quoted upgrade value",
         R"({"product_data": {"command_line": "/qn"}})",
         {u"h /WIN10_UPGRADE \"a\"b\""},
         u"/qn",
         false},
        {"well-formed values are copied exactly",
         R"({"product_data": {}, "distribution": {"token": "a b\\c=", "machinename": "pc-1.corp"}})",
         {u"h"},
         u" /token \"a b\\c=\" /machinename pc-1.corp",
         false},
    });
}

// A quoted value that ends in backslashes (a folder) keeps them: they are
// doubled so that the closing quote still closes.
TEST(InstallerArguments, TrailingBackslashesOfQuotedValuesAreDoubled) {
    ExpectCases({
        {"upgrade value naming a folder",
         R"({"product_data": {"command_line": "/s"}})",
         {u"h /WIN10_UPGRADE C:\\media\\"},
         u"/s /WIN10_UPGRADE \"C:\\media\\\\\"",
         true},
        {"two trailing backslashes become four",
         R"({"product_data": {}})",
         {u"h /WIN10_UPGRADE \"D:\\x y\\\\\""},
         u" /WIN10_UPGRADE \"D:\\x y\\\\\\\\\"",
         true},
        {"token ending in a backslash",
         R"({"product_data": {}, "distribution": {"ebe_token": "abc\\", "token": "fine"}})",
         {u"h"},
         u" /token \"abc\\\\\"",
         false},
        {"backslashes inside a value stay single",
         R"({"product_data": {}, "distribution": {"token": "a\\b"}})",
         {u"h"},
         u" /token \"a\\b\"",
         false},
    });
}

#ifdef _WIN32
// What an installer's own argument parser makes of the quoted values.
TEST(InstallerArguments, AnInstallerReadsTheQuotedValuesBackUnchanged) {
    const struct {
        const char16_t* hostLine;
        const wchar_t* upgradeValue;
    } cases[] = {
        {u"h /WIN10_UPGRADE C:\\media\\", L"C:\\media\\"},
        {u"h /WIN10_UPGRADE \"D:\\x y\\\\\"", L"D:\\x y\\\\"},
        {u"h /WIN10_UPGRADE plain", L"plain"},
    };
    for (const auto& c : cases) {
        const InstallerArguments args = Build(R"({"product_data": {}})", {c.hostLine});
        const std::u16string line = qvd::job::FullCommandLine(u"C:\\setup.exe", args.text);
        int count = 0;
        pxLib::UniqueLocalMemory argv(
            CommandLineToArgvW(reinterpret_cast<const wchar_t*>(line.c_str()), &count));
        ASSERT_TRUE(argv);
        auto* const words = static_cast<wchar_t**>(argv.get());
        ASSERT_EQ(count, 3) << qvdtest::Text(line);
        EXPECT_STREQ(words[1], L"/WIN10_UPGRADE");
        EXPECT_STREQ(words[2], c.upgradeValue);
    }
}
#endif

TEST(InstallerArguments, FullCommandLineQuotesTheInstallerPath) {
    EXPECT_EQ(qvd::job::FullCommandLine(u"C:\\Program Files\\App\\setup.exe", u"/s /qn"),
              u"\"C:\\Program Files\\App\\setup.exe\" /s /qn");
    EXPECT_EQ(qvd::job::FullCommandLine(u"C:\\setup.exe", u""), u"\"C:\\setup.exe\" ");
}

TEST(InstallerArguments, AJobOfTheWrongShapeRaises) {
    EXPECT_THROW(Build(R"({"product_data": "text"})", {u"h"}), Json::LogicError);
    EXPECT_THROW(Build(R"({"product_data": {"command_line": []}})", {u"h"}), Json::LogicError);
}

}  // namespace

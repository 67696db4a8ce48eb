// The installer's argument string: pieces, order, quoting, the strip flag, and
// the pieces left out because job or host data would break out of them.
#include "JobOutcome.h"
#include "job/InstallerArguments.h"

#include <gtest/gtest.h>

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
        {"backslash before the closing quote",
         R"({"product_data": {}, "distribution": {"ebe_token": "abc\\", "token": "fine"}})",
         {u"h"},
         u"",
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

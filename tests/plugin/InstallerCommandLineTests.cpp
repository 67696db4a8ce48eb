// What a real installer receives on its command line, through the shell
// launch and through the system-context launcher; the host's own switches
// come from this program's command line (CTest runs it with and without them).
#include "InProcessPlugin.h"
#include "common/ScopedJobIds.h"
#include "job/InstallerArguments.h"
#include "support/cmdline/pxCommandLine.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

class InstallerCommandLine : public ::testing::Test {
protected:
    // Runs the job for an installer that records its command line; returns it.
    std::wstring Received(const std::wstring& installer, const std::string& extra,
                          int32_t expectedState = 5) {
        const std::wstring record = installer + L".cmdline";
        std::vector<SinkCall> calls;
        // The installer asks for a restart, which the job's own id keeps apart.
        EXPECT_EQ(RunLinkedJob(JobFor(installer, jobIds.NewMember() + ", " + extra), calls),
                  expectedState)
            << Describe(calls);
        return ReadFileWide(record);
    }
    std::wstring Installer(const std::wstring& name, std::vector<std::string> behaviour = {}) {
        const std::wstring path = dir.file(name);
        behaviour.push_back("record_command_line=" + Narrow(path + L".cmdline"));
        behaviour.push_back("exit_code=0x80070BC2");
        const std::wstring placed = PlaceInstaller(dir, L"maker", name, behaviour);
        EXPECT_EQ(placed, path);
        return placed;
    }
    static bool HostHas(const char16_t* name) {
        pxLib::CCommandLine own;
        return own.ParseProcessCommandLine() && own.HasSwitch(name);
    }

    ScopedFakePlatform fake;
    TempDir dir;
    ScopedJobIds jobIds;
};

const char kJobArguments[] =
    "\"product_data\": {\"command_line\": \"/S /D=C:\\\\Program Files\\\\App\", "
    "\"context\": \"system\"},"
    "\"distribution\": {\"token\": \"tok-1\", \"machinename\": \"PC1\"}";
const wchar_t kExpectedArguments[] =
    L"/S /D=C:\\Program Files\\App /token \"tok-1\" /machinename PC1";

TEST_F(InstallerCommandLine, TheShellLaunchPassesExactlyTheArgumentString) {
    if (HostHas(u"noui") || HostHas(u"WIN10_UPGRADE")) GTEST_SKIP() << "host switches given";
    const std::wstring installer = Installer(L"setup.exe");
    EXPECT_EQ(ArgumentsOf(Received(installer, kJobArguments)), kExpectedArguments);
    EXPECT_EQ(fake->verbs, (std::vector<std::wstring>{L"open"}));
}

TEST_F(InstallerCommandLine, TheSystemContextStartsTheQuotedFullCommandLine) {
    if (HostHas(u"noui") || HostHas(u"WIN10_UPGRADE")) GTEST_SKIP() << "host switches given";
    fake->localSystem = true;
    // A program named after the path's first word must never be the one started.
    const std::wstring decoyMarker = dir.file(L"decoy-started");
    PlaceInstaller(dir, L"maker", L"app.exe", {"started_marker=" + Narrow(decoyMarker)});
    ASSERT_TRUE(CreateDirectoryW(dir.file(L"app dir").c_str(), nullptr));
    const std::wstring installer = Installer(L"app dir\\setup.exe");

    const std::wstring received = Received(installer, kJobArguments);
    EXPECT_EQ(received, L"\"" + installer + L"\" " + kExpectedArguments);
    EXPECT_TRUE(fake->verbs.empty()) << "not through the shell";
    Sleep(300);
    EXPECT_FALSE(FileExists(decoyMarker));
}

TEST_F(InstallerCommandLine, ATokenWithAQuoteGivesTheInstallerNoExtraWords) {
    if (HostHas(u"noui") || HostHas(u"WIN10_UPGRADE")) GTEST_SKIP() << "host switches given";
    for (const bool system : {false, true}) {
        fake->localSystem = system;
        const std::wstring installer = Installer(system ? L"sys.exe" : L"shell.exe");
        const std::wstring received = Received(
            installer,
            "\"product_data\": {\"command_line\": \"/S\", \"context\": \"system\"},"
            "\"distribution\": {\"token\": \"t\\\" /evil \\\"x\", \"machinename\": \"PC 2\"}");
        EXPECT_EQ(ArgumentsOf(received), L"/S") << system;
    }
}

TEST_F(InstallerCommandLine, TheHostPathTokenBecomesThisProcesssImagePath) {
    if (HostHas(u"noui") || HostHas(u"WIN10_UPGRADE")) GTEST_SKIP() << "host switches given";
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::wstring installer = Installer(L"setup.exe");
    EXPECT_EQ(
        ArgumentsOf(Received(
            installer, "\"product_data\": {\"command_line\": \"/h=%QVDPATH% /again=%QVDPATH%\"}")),
        L"/h=" + std::wstring(self, n) + L" /again=" + std::wstring(self, n));
}

// Run by CTest with the host switches /noui and /WIN10_UPGRADE "v 2".
TEST_F(InstallerCommandLine, SilentAndUpgradeHostSwitchesReachTheInstaller) {
    if (!HostHas(u"noui")) GTEST_SKIP() << "needs the host switch /noui";
    const std::wstring installer = Installer(L"setup.exe");
    EXPECT_EQ(ArgumentsOf(Received(installer, "\"product_data\": {\"command_line\": \"/S\"}")),
              L"/S /WIN10_UPGRADE \"v 2\" /qn /notray /showerrors 2 /noreboot");
}

// Run by CTest with the host switch /WIN10_UPGRADE v3 alone: the quiet and
// tray switches are stripped again.
TEST_F(InstallerCommandLine, AnUpgradeWithoutNouiStripsTheQuietSwitches) {
    if (!HostHas(u"WIN10_UPGRADE") || HostHas(u"noui")) GTEST_SKIP() << "needs /WIN10_UPGRADE";
    const std::wstring installer = Installer(L"setup.exe");
    EXPECT_EQ(ArgumentsOf(Received(
                  installer,
                  "\"product_data\": {\"command_line\": \"/qn /S /showerrors 1 /log x.txt\"}")),
              L"/S /log x.txt /WIN10_UPGRADE \"v3\"");
}

}  // namespace
}  // namespace qvdtest

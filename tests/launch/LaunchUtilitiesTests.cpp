// The launch utilities under Wine: path existence, the UAC setting, the plain
// launcher and the mitigation attribute list with its version rules.
#include "TestSupport.h"
#include "UacSettingGuard.h"
#include "launch/FileExists.h"
#include "launch/ProcessLauncher.h"
#include "launch/StartupInfoEx.h"
#include "launch/UacSetting.h"
#include "support/system/Platform.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace qvdtest {
namespace {

using namespace qvd::launch;

TEST(FileExists, TellsExistingPathsFromMissingOnesLongPathsIncluded) {
    TempDir dir;
    const std::wstring file = dir.file(L"present.txt");
    ASSERT_TRUE(WriteFileUtf8(file, "x"));
    // A folder chain longer than MAX_PATH can only be reached with the "\\?\" prefix.
    std::wstring deep = L"\\\\?\\" + dir.path();
    for (int i = 0; i < 12; ++i) {
        deep += L"\\" + std::wstring(30, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    const std::wstring deepFile = deep + L"\\file.txt";
    ASSERT_TRUE(WriteFileUtf8(deepFile, "x"));
    const std::wstring deepPlain = deepFile.substr(4);
    ASSERT_GT(deepPlain.size(), static_cast<size_t>(MAX_PATH));

    EXPECT_EQ(qvd::launch::FileExists(L""), E_INVALIDARG);
    EXPECT_EQ(qvd::launch::FileExists(file), S_OK);
    EXPECT_EQ(qvd::launch::FileExists(dir.path()), S_OK);
    EXPECT_EQ(qvd::launch::FileExists(dir.file(L"missing.txt")), kPathNotFound);
    EXPECT_EQ(qvd::launch::FileExists(deepPlain), S_OK);
    EXPECT_EQ(qvd::launch::FileExists(deepFile), S_OK)
        << "an already prefixed path is tested unchanged";
}

// A path that begins with a backslash is tested as it is; any other gets the
// long-path prefix, which turns off relative resolution: a relative path is
// never found, even where it names a file of the current folder.
TEST(FileExists, UncAndRelativePathsFollowThePrefixRule) {
    TempDir dir;
    ASSERT_TRUE(WriteFileUtf8(dir.file(L"here.txt"), "x"));
    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    // (Wine, unlike Windows, still resolves a prefixed ".\\here.txt".)
    const HRESULT relative = qvd::launch::FileExists(L"here.txt");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(relative, kPathNotFound);

    // The device form of a local file begins with two backslashes: unchanged,
    // it is found (with the prefix in front it could not be).
    EXPECT_EQ(qvd::launch::FileExists(L"\\\\.\\" + dir.file(L"here.txt")), S_OK);
    EXPECT_EQ(qvd::launch::FileExists(L"\\\\no-such-server\\share\\here.txt"), kPathNotFound);
}

TEST(UacSetting, OnlyADwordOfOneTurnsItOn) {
    UacSettingGuard uac;
    uac.SetDword(1);
    EXPECT_TRUE(IsUacEnabled());
    for (DWORD value : {0u, 2u}) {
        uac.SetDword(value);
        EXPECT_FALSE(IsUacEnabled()) << value;
    }
    uac.SetString(L"1");
    EXPECT_FALSE(IsUacEnabled()) << "a string is another type";
    uac.Remove();
    EXPECT_FALSE(IsUacEnabled()) << "missing";
}

TEST(ProcessLauncher, StartsTheCommandLineAndReadsItsExitCode) {
    TempDir dir;
    const std::wstring installer =
        PlaceInstaller(dir, L"maker", L"tool.exe", {"exit_code=0x80070BC2"});
    ProcessLauncher launcher;
    ASSERT_EQ(launcher.Launch(L"\"" + installer + L"\" /x"), S_OK);
    EXPECT_NE(launcher.ProcessId(), 0u);
    ASSERT_EQ(launcher.Wait(30000), WAIT_OBJECT_0);
    EXPECT_EQ(launcher.ExitCode(), 0x80070BC2u);

    ProcessLauncher hidden;
    ASSERT_EQ(hidden.Launch(L"\"" + installer + L"\"", false), S_OK);
    EXPECT_EQ(hidden.Wait(30000), WAIT_OBJECT_0);
}

TEST(ProcessLauncher, ReportsFailuresAsResultsAndTheExitCodeAsAnError) {
    ProcessLauncher launcher;
    EXPECT_EQ(launcher.Launch(L""), E_INVALIDARG);
    // Windows says the path is not found, Wine that the file is not.
    const HRESULT missing = launcher.Launch(L"\"C:\\no such folder\\no such program.exe\"");
    EXPECT_TRUE(missing == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
                missing == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << std::hex << missing;
    try {
        launcher.ExitCode();
        ADD_FAILURE() << "no exit code without a process";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "GetExitCodeProcess() failed");
    }
}

class VersionPlatform : public pxLib::IPlatform {
public:
    pxLib::OsVersion Version() override { return version; }
    bool IsLocalSystem() override { return false; }
    BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }
    pxLib::OsVersion version;
};

TEST(StartupInfoEx, PutsTheMitigationPolicyOnSystemsThatTakeIt) {
    VersionPlatform platform;
    pxLib::IPlatform* previous = pxLib::SetPlatformForTesting(&platform);
    const struct {
        bool workstation;
        DWORD major, minor;
        bool inUse;
        uint64_t policy;
        size_t size;
    } rows[] = {
        {true, 10, 0, true, 0x101001001, 8}, {true, 6, 2, true, 0x101001001, 8},
        {true, 6, 1, true, 0x1, 4},          {true, 6, 0, false, 0, 0},
        {true, 5, 1, false, 0, 0},           {false, 6, 3, true, 0x101001001, 8},
        {false, 6, 1, true, 0x1, 4},         {false, 6, 0, false, 0, 0},
        {false, 5, 2, false, 0, 0},
    };
    for (const auto& row : rows) {
        platform.version.workstation = row.workstation;
        platform.version.major = row.major;
        platform.version.minor = row.minor;
        StartupInfoEx startup;
        EXPECT_EQ(startup.SetUp(), S_OK) << row.major << "." << row.minor;
        EXPECT_EQ(startup.InUse(), row.inUse) << row.major << "." << row.minor;
        EXPECT_EQ(startup.AttributeList().IsInitialised(), row.inUse);
        EXPECT_EQ(startup.Info().StartupInfo.cb, sizeof(STARTUPINFOEXW));
        EXPECT_EQ(startup.CreationFlag(), row.inUse ? DWORD{EXTENDED_STARTUPINFO_PRESENT} : 0u);
        if (row.inUse) {
            EXPECT_EQ(startup.MitigationPolicy(), row.policy) << row.major << "." << row.minor;
            EXPECT_EQ(startup.MitigationPolicySize(), row.size);
            EXPECT_EQ(startup.Info().lpAttributeList, startup.AttributeList().get());
            EXPECT_NE(startup.Info().lpAttributeList, nullptr);
        } else {
            EXPECT_EQ(startup.Info().lpAttributeList, nullptr);
        }
        startup.reset();
        EXPECT_FALSE(startup.AttributeList().IsInitialised());
        EXPECT_TRUE(startup.AttributeList().empty());
    }
    pxLib::SetPlatformForTesting(previous);
}

TEST(StartupInfoEx, AProcessStartsWithTheListInPlace) {
    StartupInfoEx startup;
    ASSERT_EQ(startup.SetUp(), S_OK);
    ASSERT_TRUE(startup.InUse()) << "this Wine prefix reports Windows 10";
    TempDir dir;
    const std::wstring installer = PlaceInstaller(dir, L"maker", L"tool.exe", {"exit_code=7"});
    std::wstring line = L"\"" + installer + L"\"";
    pxLib::ProcessInformation process;
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                               EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                               &startup.StartupInfo(), process.put()));
    startup.reset();
    WaitForSingleObject(process.process(), 30000);
    DWORD code = 0;
    GetExitCodeProcess(process.process(), &code);
    EXPECT_EQ(code, 7u);
}

}  // namespace
}  // namespace qvdtest

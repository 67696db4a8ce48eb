// The Win32 side of the user-session launch as Wine runs it: the
// terminal-services library from the system folder, the default calls, and a
// whole preparation and launch without any fake.
#include "FakeUserSessionSystem.h"
#include "TestSupport.h"
#include "launch/TerminalServices.h"
#include "launch/UserLauncher.h"
#include "launch/UserSessionSystem.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

using namespace qvd::launch;

constexpr DWORD kChildWaitMs = 60000;
constexpr DWORD kShortWaitMs = 10;

std::wstring ModulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<const wchar_t*>(address), &module))
        return {};
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n);
}

TEST(TerminalServices, ComesFromTheSystemFolderByFullPath) {
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::wstring expected = std::wstring(system, n) + L"\\Wtsapi32.dll";
    EXPECT_EQ(SystemLibraryPath(L"Wtsapi32.dll"), expected);

    const TerminalServices library;
    ASSERT_NE(library.enumerateSessions, nullptr);
    EXPECT_NE(library.freeMemory, nullptr);
    EXPECT_NE(library.queryUserToken, nullptr);
    EXPECT_NE(library.querySessionInformation, nullptr);
    EXPECT_EQ(
        _wcsicmp(ModulePathOf(reinterpret_cast<const void*>(library.enumerateSessions)).c_str(),
                 expected.c_str()),
        0);
}

TEST(UserSessionCalls, TheDefaultsAreTheWin32Calls) {
    IUserSessionSystem& calls = Win32UserSessionSystem();
    EXPECT_EQ(&UserSessionSystem(), &calls);
    std::vector<SessionEntry> sessions{{7, WTSActive}};
    EXPECT_EQ(calls.EnumerateSessions(sessions), SessionListing::Listed);
    for (const SessionEntry& session : sessions) EXPECT_NE(session.id, 7u) << "listed afresh";

    const pxLib::UniqueHandle cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(calls.WaitForCancel(cancel.get(), kShortWaitMs), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(cancel.get());
    EXPECT_EQ(calls.WaitForCancel(cancel.get(), kShortWaitMs), WAIT_OBJECT_0);

    pxLib::UniqueHandle user;
    ASSERT_TRUE(StandInUserToken(user));
    pxLib::UniqueHandle duplicate;
    ASSERT_TRUE(calls.DuplicateToken(user.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                                     TokenPrimary, duplicate.put()));
    TOKEN_STATISTICS statistics{};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(duplicate.get(), TokenStatistics, &statistics,
                                    sizeof(statistics), &size));
    EXPECT_EQ(statistics.TokenType, TokenPrimary);
}

// Wine lists no sessions, and its WTSQueryUserToken hands out this process's
// own token for any session: enough to run a whole preparation and launch
// through the real calls, with a real environment block.
TEST(UserSessionCalls, APreparationAndLaunchThroughTheRealCalls) {
    UserLauncher launcher;
    ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
    EXPECT_EQ(launcher.SessionId(), kNoSessionId) << "Wine lists no session";
    ASSERT_NE(launcher.LaunchToken(), nullptr);
    ASSERT_NE(launcher.Environment(), nullptr);

    TempDir dir;
    const std::wstring results = dir.file(L"results.txt");
    const pxLib::UniqueHandle cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    launcher.SetCancelEvent(cancel.get());
    ASSERT_EQ(launcher.LaunchInUserSession(L"\"" + WinePath(QVD_SHELL_STAND_IN) + L"\" \"" +
                                           results + L"\" \"\" \"env:SystemRoot\""),
              S_OK);
    const pxLib::UniqueHandle process = launcher.TakeProcess();
    ASSERT_EQ(WaitForSingleObject(process.get(), kChildWaitMs), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadFileUtf8(results).rfind("SystemRoot=", 0), 0u) << ReadFileUtf8(results);
}

}  // namespace
}  // namespace qvdtest

// The user's shell process under Wine: the Winlogon "Shell" value with its
// environment variables, the real WMI list of Win32_Process, and programs of
// the tests running as the shell.
#include "ProcessListWithPaths.h"
#include "TestSupport.h"
#include "WinlogonShellGuard.h"
#include "launch/ShellProcess.h"
#include "support/system/ComPtr.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <memory>

namespace qvdtest {
namespace {

using namespace qvd::launch;

constexpr DWORD kChildWaitMs = 60000;
const wchar_t kHomeVariable[] = L"QVD_TEST_SHELL_HOME";
// The stand-in's name as a shell value may spell it: the case differs from the file's.
const wchar_t kShellValue[] = L"%QVD_TEST_SHELL_HOME%\\QVDSHELLSTANDIN.EXE";

std::wstring StandIn() {
    return WinePath(QVD_SHELL_STAND_IN);
}

std::wstring FolderOf(const std::wstring& path) {
    return path.substr(0, path.rfind(L'\\'));
}

// A running stand-in that waits for the test's stop event (at most a minute);
// the event is set when the object goes.
class RunningStandIn {
public:
    RunningStandIn(const TempDir& dir, const std::wstring& eventName, HANDLE stop) : m_stop(stop) {
        std::wstring line = L"\"" + StandIn() + L"\" \"" + dir.file(L"results.txt") +
                            L"\" \"\" \"wait:" + eventName + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, m_info.put()))
            << GetLastError();
    }
    ~RunningStandIn() {
        SetEvent(m_stop);
        if (m_info.process() &&
            WaitForSingleObject(m_info.process(), kChildWaitMs) != WAIT_OBJECT_0)
            TerminateProcess(m_info.process(), 1);
    }
    DWORD id() const { return m_info.processId(); }

private:
    HANDLE m_stop;
    pxLib::ProcessInformation m_info;
};

DWORD OwnSession() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

class ShellProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetEnvironmentVariableW(kHomeVariable, FolderOf(StandIn()).c_str()));
        ASSERT_TRUE(stop) << GetLastError();
    }
    void TearDown() override { SetEnvironmentVariableW(kHomeVariable, nullptr); }

    pxLib::ComPtr<IEnumWbemClassObject> ListWithPaths(std::shared_ptr<ProcessListFacts> facts) {
        pxLib::ComPtr<IEnumWbemClassObject> real;
        EXPECT_EQ(OpenProcessList(real), S_OK);
        return real ? ProcessListWithPaths(real, std::move(facts)) : nullptr;
    }

    pxLib::ComApartment apartment;
    WinlogonShellGuard shellValue;
    const std::wstring stopName = L"Local\\qvdtest-shell-" + NewGuidText();
    pxLib::UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, stopName.c_str())};
    TempDir dir;
};

TEST_F(ShellProcess, TheShellNameIsTheExpandedWinlogonValueOrExplorer) {
    const std::wstring home = FolderOf(StandIn());
    const struct {
        const char* what;
        DWORD type;  // REG_NONE: no value at all
        const wchar_t* value;
        std::wstring expected;
    } rows[] = {
        {"no value", REG_NONE, nullptr, L"explorer.exe"},
        {"empty", REG_SZ, L"", L"explorer.exe"},
        {"expandable, with a variable", REG_EXPAND_SZ, kShellValue,
         home + L"\\QVDSHELLSTANDIN.EXE"},
        {"plain string, with a variable", REG_SZ, kShellValue, home + L"\\QVDSHELLSTANDIN.EXE"},
        {"a path with blanks and a switch", REG_SZ, L"C:\\My Apps\\shell.exe /x",
         L"C:\\My Apps\\shell.exe /x"},
        {"an unknown variable stays", REG_SZ, L"%QVD_TEST_NO_SUCH_VARIABLE%\\s.exe",
         L"%QVD_TEST_NO_SUCH_VARIABLE%\\s.exe"},
    };
    for (const auto& row : rows) {
        if (row.type == REG_NONE) {
            ASSERT_TRUE(shellValue.Remove());
        } else {
            ASSERT_TRUE(shellValue.Set(row.type, row.value));
        }
        EXPECT_EQ(ReadShellName(), row.expected) << row.what;
    }
}

TEST_F(ShellProcess, TheShellIsMatchedByLowerCaseSubstringAndSession) {
    ASSERT_TRUE(shellValue.Set(REG_EXPAND_SZ, kShellValue));
    const RunningStandIn first(dir, stopName, stop.get());
    const RunningStandIn second(dir, stopName, stop.get());
    ASSERT_NE(first.id(), 0u);
    ASSERT_NE(second.id(), 0u);

    // Whichever of the two the walk reaches first runs in another session.
    auto facts = std::make_shared<ProcessListFacts>();
    facts->moveFirstAsked = {first.id(), second.id()};
    const auto processes = ListWithPaths(facts);
    ASSERT_TRUE(processes);
    DWORD found = kNoProcessId;
    EXPECT_EQ(FindShellInProcessList(processes.get(), ReadShellName(), OwnSession(), found), S_OK);
    ASSERT_NE(facts->moved, 0u) << "one of them was passed over";
    EXPECT_EQ(found, facts->moved == first.id() ? second.id() : first.id());
    EXPECT_EQ(facts->sessionAsked, (std::vector<DWORD>{facts->moved, found}))
        << "only processes whose path matched were asked their session";
}

TEST_F(ShellProcess, NoMatchInTheSessionOrByNameIsEFail) {
    const RunningStandIn running(dir, stopName, stop.get());
    const struct {
        const char* what;
        const wchar_t* shell;
        DWORD session;
    } rows[] = {
        {"the shell runs in another session", kShellValue, OwnSession() + 7},
        {"no such shell", L"%QVD_TEST_SHELL_HOME%\\NoSuchShell.exe", OwnSession()},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(shellValue.Set(REG_EXPAND_SZ, row.shell));
        DWORD found = 12345;
        EXPECT_EQ(FindShellInProcessList(ListWithPaths(std::make_shared<ProcessListFacts>()).get(),
                                         ReadShellName(), row.session, found),
                  E_FAIL)
            << row.what;
        EXPECT_EQ(found, kNoProcessId) << row.what;
    }
}

TEST_F(ShellProcess, TheRealWmiListAsWineFillsIt) {
    ASSERT_TRUE(shellValue.Set(REG_EXPAND_SZ, kShellValue));
    const RunningStandIn running(dir, stopName, stop.get());
    pxLib::ComPtr<IEnumWbemClassObject> real;
    ASSERT_EQ(OpenProcessList(real), S_OK);
    pxLib::ComPtr<IWbemClassObject> firstProcess;
    ULONG returned = 0;
    ASSERT_EQ(real->Next(WBEM_INFINITE, 1, firstProcess.put(), &returned), S_OK);
    ASSERT_EQ(returned, 1u);
    pxLib::UniqueVariant path;
    const bool hasPaths =
        firstProcess->Get(L"ExecutablePath", 0, path.put(), nullptr, nullptr) == S_OK;

    DWORD found = 0;
    const HRESULT hr = FindShellProcessInSession(OwnSession(), found);
    if (hasPaths) {
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(found, running.id());
    } else {
        // Wine 8: a property read that fails ends the walk without a match.
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_EQ(found, kNoProcessId);
    }
}

TEST_F(ShellProcess, AProcessTokenIsOpenedByProcessId) {
    const RunningStandIn running(dir, stopName, stop.get());
    pxLib::UniqueHandle token;
    ASSERT_TRUE(OpenProcessTokenById(running.id(), token));
    TOKEN_STATISTICS statistics{};
    DWORD size = 0;
    EXPECT_TRUE(
        GetTokenInformation(token.get(), TokenStatistics, &statistics, sizeof(statistics), &size));
    EXPECT_EQ(statistics.TokenType, TokenPrimary);

    pxLib::UniqueHandle none;
    EXPECT_FALSE(OpenProcessTokenById(kNoProcessId - 3, none));
    EXPECT_FALSE(none);
}

}  // namespace
}  // namespace qvdtest

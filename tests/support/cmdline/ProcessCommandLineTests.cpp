// The process's own command line, seen by a child copy of this test program
// that the parent starts with words of its choosing.
#include "support/cmdline/pxCommandLine.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kChildVariable[] = L"QVD_CMDLINE_CHILD";
constexpr int kChildPassed = 42;  // only the child's last line returns it

TEST(ProcessCommandLine, ChildSeesItsOwnWords) {
    if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) == 0) {
        GTEST_SKIP() << "runs as the child of ParentStartsChild";
    }
    pxLib::CCommandLine line;
    ASSERT_TRUE(line.ParseProcessCommandLine());
    const auto& entries = line.GetEntries();
    ASSERT_GE(entries.size(), 1u);
    EXPECT_FALSE(entries[0].m_bSwitch);
    const std::u16string program = entries[0].m_strName;
    ASSERT_GE(program.size(), 4u);
    EXPECT_EQ(program.substr(program.size() - 4), u".exe");
    std::vector<std::u16string> values;
    ASSERT_TRUE(line.GetSwitchValues(u"win10_upgrade", values));
    EXPECT_EQ(values, (std::vector<std::u16string>{u"10.0 beta"}));
    EXPECT_TRUE(line.HasSwitch(u"NOUI"));
    if (!testing::Test::HasFailure()) std::exit(kChildPassed);
}

TEST(ProcessCommandLine, ParentStartsChild) {
    if (GetEnvironmentVariableW(kChildVariable, nullptr, 0) != 0) GTEST_SKIP();
    wchar_t self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring commandLine = std::wstring(L"\"") + self +
                               L"\" --gtest_filter=ProcessCommandLine.ChildSeesItsOwnWords "
                               L"/WIN10_UPGRADE \"10.0 beta\" -noui";
    ASSERT_TRUE(SetEnvironmentVariableW(kChildVariable, L"1"));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    ASSERT_TRUE(started) << GetLastError();
    const pxLib::UniqueHandle process{info.hProcess};
    const pxLib::UniqueHandle thread{info.hThread};
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(exitCode, static_cast<DWORD>(kChildPassed));
}

}  // namespace

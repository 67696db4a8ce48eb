// Privileges enabled and put back, on the token the code is meant to use, and
// the process user read from a duplicate of the process token.
#include <gtest/gtest.h>

#include <vector>

#include "TestKeySecurity.h"
#include "common/TestSupport.h"
#include "support/logging/TraceRecorder.h"
#include "support/security/PrivilegeScope.h"
#include "support/security/RightsChecker.h"
#include "support/system/UniqueHandle.h"

namespace {

using pxLib::UniqueHandle;
using ZOLT::CRightsChecker;

// Held but off in the tokens Wine hands out, and on by default respectively.
const wchar_t* const kHeldOff = SE_DEBUG_NAME;
const wchar_t* const kHeldOn = SE_CHANGE_NOTIFY_NAME;
// Never held by a Wine token.
const wchar_t* const kNotHeld = SE_CREATE_TOKEN_NAME;

enum class State : uint8_t { Missing, Off, On };

State PrivilegeState(HANDLE token, const wchar_t* name) {
    LUID luid{};
    if (!LookupPrivilegeValueW(nullptr, name, &luid)) return State::Missing;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size))
        return State::Missing;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& l = privileges->Privileges[i].Luid;
        if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart)
            return (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? State::On
                                                                                 : State::Off;
    }
    return State::Missing;
}

UniqueHandle ProcessToken() {
    UniqueHandle token;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    return token;
}

// A token of the test's own, so that no change reaches the process.
UniqueHandle OwnToken() {
    UniqueHandle process;
    UniqueHandle token;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, process.put()));
    EXPECT_TRUE(DuplicateTokenEx(process.get(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, nullptr,
                                 SecurityImpersonation, TokenPrimary, token.put()));
    return token;
}

TEST(EnablePrivilege, EnablesAndRestoresTheEarlierState) {
    for (const wchar_t* name : {kHeldOff, kHeldOn}) {
        SCOPED_TRACE(qvdtest::Narrow(name));
        const UniqueHandle token = OwnToken();
        const State before = PrivilegeState(token.get(), name);
        ASSERT_NE(before, State::Missing);
        TOKEN_PRIVILEGES previous{};
        ASSERT_TRUE(CRightsChecker::EnablePrivilege(token.get(), name, previous));
        EXPECT_EQ(PrivilegeState(token.get(), name), State::On);
        EXPECT_TRUE(CRightsChecker::RestorePrivilege(token.get(), previous));
        EXPECT_EQ(PrivilegeState(token.get(), name), before);
    }
}

TEST(EnablePrivilege, APrivilegeTheTokenLacksIsNotEnabled) {
    const UniqueHandle token = OwnToken();
    TOKEN_PRIVILEGES previous{};
    EXPECT_FALSE(CRightsChecker::EnablePrivilege(token.get(), kNotHeld, previous));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
    EXPECT_TRUE(CRightsChecker::RestorePrivilege(token.get(), previous));
    EXPECT_FALSE(CRightsChecker::EnablePrivilege(token.get(), L"SeNoSuchPrivilege", previous));
}

TEST(PrivilegeScope, UsesTheProcessTokenWhenTheThreadHasNone) {
    const UniqueHandle process = ProcessToken();
    ASSERT_EQ(PrivilegeState(process.get(), kHeldOff), State::Off);
    {
        const pxLib::PrivilegeScope scope(kHeldOff);
        EXPECT_TRUE(scope.Enabled());
        EXPECT_EQ(PrivilegeState(process.get(), kHeldOff), State::On);
    }
    EXPECT_EQ(PrivilegeState(process.get(), kHeldOff), State::Off);
    {
        const pxLib::PrivilegeScope scope(kHeldOn);
        EXPECT_TRUE(scope.Enabled());
    }
    EXPECT_EQ(PrivilegeState(process.get(), kHeldOn), State::On);
}

TEST(PrivilegeScope, UsesTheThreadTokenWhileTheThreadImpersonates) {
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
    UniqueHandle thread;
    ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, thread.put()));
    const UniqueHandle process = ProcessToken();
    {
        const pxLib::PrivilegeScope scope(kHeldOff);
        EXPECT_TRUE(scope.Enabled());
        EXPECT_EQ(PrivilegeState(thread.get(), kHeldOff), State::On);
        EXPECT_EQ(PrivilegeState(process.get(), kHeldOff), State::Off);
    }
    EXPECT_EQ(PrivilegeState(thread.get(), kHeldOff), State::Off);
    ASSERT_TRUE(RevertToSelf());
}

TEST(PrivilegeScope, APrivilegeNotHeldIsTracedByName) {
    qvdtest::TraceRecorder recorder;
    qvdtest::ScopedTraceSession session(static_cast<uint8_t>(pxLib::TraceLevel::Error), 1);
    const pxLib::PrivilegeScope scope(kNotHeld);
    EXPECT_FALSE(scope.Enabled());
    ASSERT_EQ(recorder.events.size(), 1u);
    ASSERT_EQ(recorder.events[0].args.size(), 1u);
    EXPECT_EQ(recorder.events[0].args[0],
              qvdtest::Utf16Bytes(reinterpret_cast<const char16_t*>(kNotHeld)));
}

TEST(ProcessUserSid, IsTheUserOfTheProcessToken) {
    EXPECT_EQ(qvdtest::SidText(CRightsChecker::ProcessUserSid().Get()),
              qvdtest::ProcessUserSidText());
}

}  // namespace

// The interactive user's session and a launch token for it: what the
// user-session launcher prepares before it starts anything.
#pragma once

#include <windows.h>

#include "support/system/UniqueHandle.h"

namespace qvd::launch {

constexpr DWORD kNoSessionId = 0xFFFFFFFF;

// The first active session in the listing's order; 0 without terminal
// services; 0xFFFFFFFF when the listing fails or no session is active.
DWORD ChooseInteractiveSession();

struct LaunchTokenSet {
    pxLib::UniqueHandle user;
    pxLib::UniqueHandle duplicate;  // empty when it became the launch token
    pxLib::UniqueHandle launch;
    pxLib::UniqueEnvironmentBlock environment;
};

// The session user's token (from terminal services, else from the user's
// shell process), its primary duplicate, the linked token for an elevated
// request where there is one, raised to High integrity, and the environment
// block for it. When no user token can be had, the terminal-services
// query's error as an HRESULT; otherwise the failing call's.
[[nodiscard]] HRESULT BuildLaunchToken(DWORD sessionId, bool elevated, LaunchTokenSet& tokens);

// Sets the token's integrity level to High (S-1-16-12288).
[[nodiscard]] bool RaiseToHighIntegrity(HANDLE token);

}  // namespace qvd::launch

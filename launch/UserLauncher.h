// Starting the installer in the interactive user's session from a service:
// the user's token, raised to High integrity (the linked, elevated token when
// asked for), the user's environment, and CreateProcessAsUserW on the user's
// desktop, retried while the window station is not ready.
#pragma once

#include <windows.h>

#include "launch/UserToken.h"
#include "support/system/UniqueHandle.h"

#include <string>

namespace qvd::launch {

// ERROR_PIPE_NOT_CONNECTED: the session's window station is not ready yet; it
// also ends a launch that was cancelled or never got past it.
constexpr HRESULT kWindowStationNotReady = HRESULT_FROM_WIN32(ERROR_PIPE_NOT_CONNECTED);

class UserLauncher {
public:
    UserLauncher() = default;
    virtual ~UserLauncher() = default;
    UserLauncher(const UserLauncher&) = delete;
    UserLauncher& operator=(const UserLauncher&) = delete;

    // Chooses the session and builds the launch token and its environment.
    // The system error of the failing call as an HRESULT; when no user token
    // can be had at all, the terminal-services query's error. A failure keeps
    // the tokens of an earlier preparation.
    [[nodiscard]] HRESULT PrepareUserToken(bool elevated);
    // The event that ends the waits between attempts; not owned.
    void SetCancelEvent(HANDLE cancelEvent) { m_cancelEvent = cancelEvent; }
    // S_OK when the process was created. 0x800700E9 when a cancel ended the
    // retries or they ran out; another CreateProcessAsUserW error at once;
    // ERROR_NO_TOKEN when no preparation succeeded (never the caller's token).
    [[nodiscard]] HRESULT LaunchInUserSession(const std::wstring& commandLine);
    // The started process, now the caller's (null when nothing was started).
    pxLib::UniqueHandle TakeProcess() { return m_processInfo.TakeProcess(); }

    DWORD SessionId() const { return m_sessionId; }
    HANDLE LaunchToken() const { return m_launchToken.get(); }
    const void* Environment() const { return m_environment.get(); }
    DWORD ProcessId() const { return m_processInfo.processId(); }

private:
    [[nodiscard]] HRESULT CreateWithRetries(const std::wstring& commandLine, STARTUPINFOW& startup,
                                            DWORD creationFlags);

    // Destroyed in reverse: the process handles, the environment, the tokens.
    pxLib::UniqueHandle m_userToken;
    pxLib::UniqueHandle m_duplicateToken;  // empty when it is the launch token itself
    pxLib::UniqueHandle m_launchToken;
    pxLib::UniqueEnvironmentBlock m_environment;
    DWORD m_sessionId = kNoSessionId;
    bool m_elevated = false;
    HANDLE m_cancelEvent = nullptr;
    pxLib::ProcessInformation m_processInfo;
};

}  // namespace qvd::launch

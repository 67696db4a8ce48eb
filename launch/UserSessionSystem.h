// The calls of a user-session launch that Wine cannot show for real: it has
// no terminal-services sessions, no LocalSystem token, reports every token at
// High integrity whatever is set, and never refuses a process for want of a
// window station. The launcher reaches them here; tests
// may put a fake in place of the Win32 calls.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <cstdint>
#include <vector>

namespace qvd::launch {

struct SessionEntry {
    DWORD id = 0;
    WTS_CONNECTSTATE_CLASS state = WTSDown;
};

enum class SessionListing : uint8_t {
    NoTerminalServices,  // the library or its listing functions are missing
    Failed,              // the listing call failed
    Listed,
};

class IUserSessionSystem {
public:
    virtual ~IUserSessionSystem() = default;
    // WTSEnumerateSessionsW on the local server, in the order it returns them.
    virtual SessionListing EnumerateSessions(std::vector<SessionEntry>& sessions) = 0;
    // WTSQueryUserToken.
    virtual BOOL QueryUserToken(ULONG sessionId, HANDLE* token) = 0;
    // DuplicateTokenEx.
    virtual BOOL DuplicateToken(HANDLE token, DWORD access, SECURITY_ATTRIBUTES* attributes,
                                SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type,
                                HANDLE* duplicate) = 0;
    // GetTokenInformation(TokenLinkedToken): a new handle the caller owns.
    virtual BOOL QueryLinkedToken(HANDLE token, HANDLE* linked) = 0;
    // SetTokenInformation(TokenIntegrityLevel).
    virtual BOOL SetTokenIntegrityLevel(HANDLE token, TOKEN_MANDATORY_LABEL* label, DWORD size) = 0;
    // CreateProcessAsUserW.
    virtual BOOL CreateUserProcess(HANDLE token, const wchar_t* applicationName,
                                   wchar_t* commandLine, SECURITY_ATTRIBUTES* processAttributes,
                                   SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                                   DWORD creationFlags, void* environment,
                                   const wchar_t* currentDirectory, STARTUPINFOW* startup,
                                   PROCESS_INFORMATION* processInfo) = 0;
    // WaitForSingleObject on the cancel event between two attempts.
    virtual DWORD WaitForCancel(HANDLE cancelEvent, DWORD milliseconds) = 0;
};

IUserSessionSystem& UserSessionSystem();

// The Win32 calls, for fakes that stand in for only some of them.
IUserSessionSystem& Win32UserSessionSystem();

// For tests: replaces the calls until the returned previous ones are put back
// (null puts the Win32 calls back).
IUserSessionSystem* SetUserSessionSystemForTesting(IUserSessionSystem* system);

}  // namespace qvd::launch

#include "launch/UserSessionSystem.h"

#include "launch/TerminalServices.h"

#include <atomic>

namespace qvd::launch {
namespace {

class Win32Calls final : public IUserSessionSystem {
public:
    SessionListing EnumerateSessions(std::vector<SessionEntry>& sessions) override {
        sessions.clear();
        const TerminalServices library;
        if (!library.enumerateSessions || !library.freeMemory)
            return SessionListing::NoTerminalServices;
        TerminalServicesMemory list(library);
        DWORD count = 0;
        if (!library.enumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1,
                                       list.put<WTS_SESSION_INFOW>(), &count))
            return SessionListing::Failed;
        const WTS_SESSION_INFOW* entries = list.as<WTS_SESSION_INFOW>();
        for (DWORD i = 0; entries && i < count; ++i)
            sessions.push_back(SessionEntry{entries[i].SessionId, entries[i].State});
        return SessionListing::Listed;
    }

    BOOL QueryUserToken(ULONG sessionId, HANDLE* token) override {
        const TerminalServices library;
        if (!library.queryUserToken) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return FALSE;
        }
        return library.queryUserToken(sessionId, token);
    }

    BOOL DuplicateToken(HANDLE token, DWORD access, SECURITY_ATTRIBUTES* attributes,
                        SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type,
                        HANDLE* duplicate) override {
        return DuplicateTokenEx(token, access, attributes, level, type, duplicate);
    }

    BOOL QueryLinkedToken(HANDLE token, HANDLE* linked) override {
        TOKEN_LINKED_TOKEN answer{};
        DWORD size = 0;
        if (!GetTokenInformation(token, TokenLinkedToken, &answer, sizeof(answer), &size))
            return FALSE;
        *linked = answer.LinkedToken;
        return TRUE;
    }

    BOOL SetTokenIntegrityLevel(HANDLE token, TOKEN_MANDATORY_LABEL* label, DWORD size) override {
        return SetTokenInformation(token, TokenIntegrityLevel, label, size);
    }

    BOOL CreateUserProcess(HANDLE token, const wchar_t* applicationName, wchar_t* commandLine,
                           SECURITY_ATTRIBUTES* processAttributes,
                           SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, void* environment, const wchar_t* currentDirectory,
                           STARTUPINFOW* startup, PROCESS_INFORMATION* processInfo) override {
        return CreateProcessAsUserW(token, applicationName, commandLine, processAttributes,
                                    threadAttributes, inheritHandles, creationFlags, environment,
                                    currentDirectory, startup, processInfo);
    }

    DWORD WaitForCancel(HANDLE cancelEvent, DWORD milliseconds) override {
        return WaitForSingleObject(cancelEvent, milliseconds);
    }
};

Win32Calls g_win32Calls;
std::atomic<IUserSessionSystem*> g_calls{&g_win32Calls};

}  // namespace

IUserSessionSystem& UserSessionSystem() {
    return *g_calls.load();
}

IUserSessionSystem& Win32UserSessionSystem() {
    return g_win32Calls;
}

IUserSessionSystem* SetUserSessionSystemForTesting(IUserSessionSystem* system) {
    return g_calls.exchange(system ? system : &g_win32Calls);
}

}  // namespace qvd::launch

// Stands in for the session calls that Wine cannot show (sessions, the
// terminal-services user token, a window station that is not ready) and
// records what the launcher asked of them. Tokens are real tokens of this
// process; processes are really created unless a failure is queued.
#pragma once

#include <windows.h>

#include "launch/UserSessionSystem.h"
#include "support/system/UniqueHandle.h"

#include <deque>
#include <string>
#include <vector>

namespace qvdtest {

class FakeUserSessionSystem final : public qvd::launch::IUserSessionSystem {
public:
    // Installs itself for its life.
    FakeUserSessionSystem();
    ~FakeUserSessionSystem() override;
    FakeUserSessionSystem(const FakeUserSessionSystem&) = delete;
    FakeUserSessionSystem& operator=(const FakeUserSessionSystem&) = delete;

    qvd::launch::SessionListing EnumerateSessions(
        std::vector<qvd::launch::SessionEntry>& sessions) override;
    BOOL QueryUserToken(ULONG sessionId, HANDLE* token) override;
    BOOL DuplicateToken(HANDLE token, DWORD access, SECURITY_ATTRIBUTES* attributes,
                        SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type,
                        HANDLE* duplicate) override;
    BOOL QueryLinkedToken(HANDLE token, HANDLE* linked) override;
    BOOL SetTokenIntegrityLevel(HANDLE token, TOKEN_MANDATORY_LABEL* label, DWORD size) override;
    BOOL CreateUserProcess(HANDLE token, const wchar_t* applicationName, wchar_t* commandLine,
                           SECURITY_ATTRIBUTES* processAttributes,
                           SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, void* environment, const wchar_t* currentDirectory,
                           STARTUPINFOW* startup, PROCESS_INFORMATION* processInfo) override;
    DWORD WaitForCancel(HANDLE cancelEvent, DWORD milliseconds) override;

    // What the fake answers.
    qvd::launch::SessionListing listing = qvd::launch::SessionListing::Listed;
    std::vector<qvd::launch::SessionEntry> sessions{{1, WTSActive}};
    DWORD userTokenError = 0;           // not 0: the user token query fails with it, every time
    std::deque<DWORD> userTokenErrors;  // errors of the next queries, then as above
    DWORD duplicateError = 0;           // not 0: the duplication fails with it
    bool hasLinkedToken = true;
    DWORD integrityError = 0;  // not 0: setting the integrity level fails with it
    std::deque<DWORD>
        createErrors;             // the next creations fail with these (0 too), then the real call
    DWORD createErrorAlways = 0;  // not 0: every creation after those fails with it
    size_t cancelAtWait = SIZE_MAX;  // the wait (0-based) during which a host cancels
    // When set, the first wait really waits (up to a minute) for the cancel
    // event, after setting this event; later waits only look at it.
    HANDLE enteredFirstWait = nullptr;

    // What the launcher asked, in order: "sessions", "user token <id>",
    // "duplicate", "linked", "integrity", "create", "create failed <error>",
    // "wait <ms>".
    std::vector<std::string> journal;
    std::vector<ULONG> queriedSessions;
    struct Duplication {
        DWORD access;
        SECURITY_IMPERSONATION_LEVEL level;
        TOKEN_TYPE type;
        HANDLE handedOut;
    };
    std::vector<Duplication> duplications;
    std::vector<HANDLE> linkedTokens;
    struct IntegrityLabel {
        HANDLE token;
        std::wstring sid;  // as text, "S-1-16-..."
        DWORD attributes;
    };
    std::vector<IntegrityLabel> integrityLabels;
    struct Creation {
        HANDLE token;
        std::wstring commandLine;
        DWORD flags;
        void* environment;
        std::wstring desktop;
        DWORD startupSize;
        bool attributeList;
    };
    std::vector<Creation> creations;
    std::vector<DWORD> waits;

private:
    IUserSessionSystem* m_previous;
};

// A primary token of this process, standing in for a session user's.
bool StandInUserToken(pxLib::UniqueHandle& token);

}  // namespace qvdtest

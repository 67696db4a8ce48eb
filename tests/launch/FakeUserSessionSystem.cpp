#include "FakeUserSessionSystem.h"

#include <sddl.h>

#include <vector>

namespace qvdtest {
namespace {

constexpr DWORD kBoundedWaitMs = 60000;

std::wstring SidText(PSID sid) {
    pxLib::UniqueLocalMemory memory;
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return {};
    memory.reset(text);
    return text;
}

}  // namespace

bool StandInUserToken(pxLib::UniqueHandle& token) {
    pxLib::UniqueHandle own;
    return OpenProcessToken(GetCurrentProcess(), MAXIMUM_ALLOWED, own.put()) &&
           DuplicateTokenEx(own.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                            TokenPrimary, token.put());
}

FakeUserSessionSystem::FakeUserSessionSystem()
    : m_previous(qvd::launch::SetUserSessionSystemForTesting(this)) {}

FakeUserSessionSystem::~FakeUserSessionSystem() {
    qvd::launch::SetUserSessionSystemForTesting(m_previous);
}

qvd::launch::SessionListing FakeUserSessionSystem::EnumerateSessions(
    std::vector<qvd::launch::SessionEntry>& listed) {
    journal.push_back("sessions");
    listed = listing == qvd::launch::SessionListing::Listed
                 ? sessions
                 : std::vector<qvd::launch::SessionEntry>{};
    return listing;
}

BOOL FakeUserSessionSystem::QueryUserToken(ULONG sessionId, HANDLE* token) {
    journal.push_back("user token " + std::to_string(sessionId));
    queriedSessions.push_back(sessionId);
    DWORD error = userTokenError;
    if (!userTokenErrors.empty()) {
        error = userTokenErrors.front();
        userTokenErrors.pop_front();
    }
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    pxLib::UniqueHandle user;
    if (!StandInUserToken(user)) return FALSE;
    *token = user.release();
    return TRUE;
}

BOOL FakeUserSessionSystem::DuplicateToken(HANDLE token, DWORD access,
                                           SECURITY_ATTRIBUTES* attributes,
                                           SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type,
                                           HANDLE* duplicate) {
    journal.push_back("duplicate");
    if (duplicateError != 0) {
        SetLastError(duplicateError);
        return FALSE;
    }
    const BOOL done = qvd::launch::Win32UserSessionSystem().DuplicateToken(
        token, access, attributes, level, type, duplicate);
    duplications.push_back({access, level, type, done ? *duplicate : nullptr});
    return done;
}

BOOL FakeUserSessionSystem::QueryLinkedToken(HANDLE token, HANDLE* linked) {
    journal.push_back("linked");
    if (!hasLinkedToken) {
        SetLastError(ERROR_NO_SUCH_LOGON_SESSION);
        return FALSE;
    }
    // Another real primary token, so that the launcher's choice shows.
    if (!DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary,
                          linked))
        return FALSE;
    linkedTokens.push_back(*linked);
    return TRUE;
}

BOOL FakeUserSessionSystem::SetTokenIntegrityLevel(HANDLE token, TOKEN_MANDATORY_LABEL* label,
                                                   DWORD size) {
    journal.push_back("integrity");
    integrityLabels.push_back(
        {token, label ? SidText(label->Label.Sid) : L"", label ? label->Label.Attributes : 0});
    if (integrityError != 0) {
        SetLastError(integrityError);
        return FALSE;
    }
    return qvd::launch::Win32UserSessionSystem().SetTokenIntegrityLevel(token, label, size);
}

BOOL FakeUserSessionSystem::CreateUserProcess(
    HANDLE token, const wchar_t* applicationName, wchar_t* commandLine,
    SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes,
    BOOL inheritHandles, DWORD creationFlags, void* environment, const wchar_t* currentDirectory,
    STARTUPINFOW* startup, PROCESS_INFORMATION* processInfo) {
    Creation seen{token,
                  commandLine ? commandLine : L"",
                  creationFlags,
                  environment,
                  startup && startup->lpDesktop ? startup->lpDesktop : L"",
                  startup ? startup->cb : 0,
                  false};
    if (startup && (creationFlags & EXTENDED_STARTUPINFO_PRESENT) != 0 &&
        startup->cb >= sizeof(STARTUPINFOEXW))
        seen.attributeList = reinterpret_cast<STARTUPINFOEXW*>(startup)->lpAttributeList != nullptr;
    creations.push_back(seen);

    bool fail = createErrorAlways != 0;
    DWORD error = createErrorAlways;
    if (!createErrors.empty()) {
        fail = true;
        error = createErrors.front();
        createErrors.pop_front();
    }
    if (fail) {
        journal.push_back("create failed " + std::to_string(error));
        SetLastError(error);
        return FALSE;
    }
    journal.push_back("create");
    return qvd::launch::Win32UserSessionSystem().CreateUserProcess(
        token, applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
        creationFlags, environment, currentDirectory, startup, processInfo);
}

DWORD FakeUserSessionSystem::WaitForCancel(HANDLE cancelEvent, DWORD milliseconds) {
    journal.push_back("wait " + std::to_string(milliseconds));
    const size_t index = waits.size();
    waits.push_back(milliseconds);
    if (index == cancelAtWait) SetEvent(cancelEvent);
    if (index == 0 && enteredFirstWait) {
        SetEvent(enteredFirstWait);
        return WaitForSingleObject(cancelEvent, kBoundedWaitMs);
    }
    // The schedule is checked from what is recorded here, not by waiting it out.
    return WaitForSingleObject(cancelEvent, 0);
}

}  // namespace qvdtest

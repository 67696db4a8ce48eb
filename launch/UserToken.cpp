#include "launch/UserToken.h"

#include "launch/ShellProcess.h"
#include "launch/TerminalServices.h"
#include "launch/UserSessionSystem.h"
#include "support/errors/LastError.h"
#include "support/logging/Trace.h"

#include <vector>

namespace qvd::launch {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x8e2b4c61, 0x5a07, 0x4f93, {0xbd, 0x18, 0x26, 0xc4, 0x7f, 0x90, 0x3e, 0xa5}}};
enum class TraceEvent : uint16_t {
    NoUserTokenForUser = 1,
    NoUserToken,
    DuplicateFailed,
    NoLinkedToken,
    IntegrityFailed,
    EnvironmentFailed,
    TokenPrepared,
};

// Only for the trace of a session whose user token could not be had.
void TraceSessionWithoutToken(DWORD sessionId, DWORD error) {
    const TerminalServices library;
    TerminalServicesMemory name(library);
    DWORD bytes = 0;
    if (library.querySessionInformation &&
        library.querySessionInformation(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName,
                                        name.put<wchar_t>(), &bytes) &&
        name.as<wchar_t>()) {
        const std::wstring user(name.as<wchar_t>(),
                                wcsnlen(name.as<wchar_t>(), bytes / sizeof(wchar_t)));
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::NoUserTokenForUser,
                     user, error);
    } else {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::NoUserToken, error);
    }
}

}  // namespace

DWORD ChooseInteractiveSession() {
    std::vector<SessionEntry> sessions;
    switch (UserSessionSystem().EnumerateSessions(sessions)) {
        case SessionListing::NoTerminalServices:
            return 0;
        case SessionListing::Failed:
            return kNoSessionId;
        case SessionListing::Listed:
            break;
    }
    for (const SessionEntry& session : sessions)
        if (session.state == WTSActive) return session.id;
    return kNoSessionId;
}

bool RaiseToHighIntegrity(HANDLE token) {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_MANDATORY_LABEL_AUTHORITY;
    alignas(DWORD) BYTE highLabel[SECURITY_MAX_SID_SIZE];
    if (!InitializeSid(highLabel, &authority, 1)) return false;
    *GetSidSubAuthority(highLabel, 0) = SECURITY_MANDATORY_HIGH_RID;
    TOKEN_MANDATORY_LABEL label{};
    label.Label.Sid = highLabel;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    return UserSessionSystem().SetTokenIntegrityLevel(
               token, &label, static_cast<DWORD>(sizeof(label) + GetLengthSid(highLabel))) != FALSE;
}

HRESULT BuildLaunchToken(DWORD sessionId, bool elevated, LaunchTokenSet& tokens) {
    IUserSessionSystem& system = UserSessionSystem();
    if (!system.QueryUserToken(sessionId, tokens.user.put())) {
        const DWORD queryError = GetLastError();
        if (!OpenShellProcessToken(sessionId, tokens.user)) {
            TraceSessionWithoutToken(sessionId, queryError);
            return pxLib::HResultFromError(queryError);
        }
    }

    pxLib::UniqueHandle duplicate;
    if (!system.DuplicateToken(tokens.user.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                               TokenPrimary, duplicate.put())) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::DuplicateFailed, hr);
        return hr;
    }
    if (elevated) {
        if (system.QueryLinkedToken(duplicate.get(), tokens.launch.put()) && tokens.launch) {
            tokens.duplicate = std::move(duplicate);
        } else {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Warning, TraceEvent::NoLinkedToken,
                         GetLastError());
            tokens.launch = std::move(duplicate);
        }
    } else {
        tokens.launch = std::move(duplicate);
    }

    if (!RaiseToHighIntegrity(tokens.launch.get())) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::IntegrityFailed, hr);
        return hr;
    }
    if (!CreateEnvironmentBlock(tokens.environment.put(), tokens.launch.get(), TRUE)) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::EnvironmentFailed, hr);
        return hr;
    }
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::TokenPrepared,
                 sessionId);
    return S_OK;
}

}  // namespace qvd::launch

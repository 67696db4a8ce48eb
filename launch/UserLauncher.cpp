#include "launch/UserLauncher.h"

#include "launch/StartupInfoEx.h"
#include "launch/UserSessionSystem.h"
#include "support/errors/LastError.h"
#include "support/logging/Log.h"
#include "support/logging/Trace.h"

#include <new>
#include <vector>

namespace qvd::launch {
namespace {

const pxLib::TraceSource kTraceSource{
    {0xb47e1d25, 0x6c38, 0x4a90, {0x8d, 0x2f, 0x53, 0xe1, 0x0a, 0x9c, 0x74, 0x16}}};
enum class TraceEvent : uint16_t {
    SessionChosen = 1,
    StartupInfoFailed,
    Attempt,
    Created,
    CreateFailed,
    Cancelled,
    PreparingAgain,
    NotPrepared,
    PreparedAgainFailed,
};

// CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT
constexpr DWORD kCreationFlags = 0x430;
static_assert(kCreationFlags ==
              (CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT));

constexpr unsigned kMaxAttempts = 200;
constexpr unsigned kPrepareAgainEvery = 10;
constexpr DWORD kFirstWaitMs = 100;
constexpr unsigned kLastShortWaitAttempt = 10;
constexpr DWORD kMiddleWaitMs = 1000;
constexpr unsigned kLastMiddleWaitAttempt = 60;
constexpr DWORD kLongWaitMs = 30000;

}  // namespace

HRESULT UserLauncher::PrepareUserToken(bool elevated) {
    m_sessionId = ChooseInteractiveSession();
    m_elevated = elevated;
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::SessionChosen,
                 m_sessionId, static_cast<uint32_t>(elevated));

    // Built aside and taken only when complete: a failed preparation during
    // the retries must never leave the launch without a user's token.
    LaunchTokenSet tokens;
    const HRESULT hr = BuildLaunchToken(m_sessionId, elevated, tokens);
    if (FAILED(hr)) return hr;
    m_launchToken = std::move(tokens.launch);
    m_duplicateToken = std::move(tokens.duplicate);
    m_userToken = std::move(tokens.user);
    m_environment = std::move(tokens.environment);
    return S_OK;
}

HRESULT UserLauncher::LaunchInUserSession(const std::wstring& commandLine) {
    if (!m_launchToken) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::NotPrepared);
        return HRESULT_FROM_WIN32(ERROR_NO_TOKEN);
    }
    StartupInfoEx startup;
    const HRESULT hr = startup.SetUp();
    if (FAILED(hr)) {
        pxLib::LogError(
            L"qvd::launch::UserLauncher::LaunchInUserSession(412) : failed to set up "
            L"StartupInfo for CreateProcess, hr=0x%08X",
            hr);
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::StartupInfoFailed, hr);
        return hr;
    }
    wchar_t desktop[] = L"winsta0\\default";
    startup.StartupInfo().lpDesktop = desktop;
    return CreateWithRetries(commandLine, startup.StartupInfo(),
                             kCreationFlags | startup.CreationFlag());
}

HRESULT UserLauncher::CreateWithRetries(const std::wstring& commandLine, STARTUPINFOW& startup,
                                        DWORD creationFlags) {
    IUserSessionSystem& system = UserSessionSystem();
    DWORD waitMs = kFirstWaitMs;
    for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::Attempt, commandLine,
                     static_cast<uint32_t>(attempt), waitMs);
        // CreateProcessAsUserW may write into the command line.
        std::vector<wchar_t> writable;
        try {
            writable.assign(commandLine.begin(), commandLine.end());
            writable.push_back(L'\0');
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (system.CreateUserProcess(m_launchToken.get(), nullptr, writable.data(), nullptr,
                                     nullptr, FALSE, creationFlags, m_environment.get(), nullptr,
                                     &startup, m_processInfo.put())) {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::Created,
                         m_processInfo.processId());
            return S_OK;
        }
        const DWORD error = GetLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::CreateFailed, error);
        // A failure without an error code is a failure too, not a reason to try again.
        if (error != ERROR_PIPE_NOT_CONNECTED) return pxLib::HResultFromError(error);

        if (system.WaitForCancel(m_cancelEvent, waitMs) != WAIT_TIMEOUT) {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::Cancelled);
            return kWindowStationNotReady;
        }
        if (attempt >= kLastShortWaitAttempt) waitMs = kMiddleWaitMs;
        if (attempt >= kLastMiddleWaitAttempt) waitMs = kLongWaitMs;
        if (attempt % kPrepareAgainEvery == 0) {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::PreparingAgain,
                         static_cast<uint32_t>(attempt));
            // The tokens held so far stay for the next attempts.
            const HRESULT prepared = PrepareUserToken(m_elevated);
            if (FAILED(prepared))
                pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error,
                             TraceEvent::PreparedAgainFailed, prepared);
        }
    }
    return kWindowStationNotReady;
}

}  // namespace qvd::launch

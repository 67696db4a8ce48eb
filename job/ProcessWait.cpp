#include "job/ProcessWait.h"

#include "job/InstallerWait.h"
#include "launch/FileExists.h"
#include "support/logging/Log.h"
#include "support/logging/Trace.h"
#include "support/process/PathSplitter.h"
#include "support/process/ProcessAccess.h"
#include "support/process/ProcessHelpers.h"
#include "support/system/UniqueHandle.h"

namespace qvd::job {
namespace {

const pxLib::TraceSource kTraceSource{
    {0xa9b2e384, 0xa7dc, 0x44b3, {0xb3, 0x68, 0xc9, 0xe1, 0x98, 0x9f, 0x88, 0x77}}};
enum class TraceEvent : uint16_t {
    LookingForProcess = 1,
    CancelledWhileWaiting,
    WaitFailed,
    ExitCodeUnread,
};

// How often a process that is seen but cannot be opened is looked for again.
constexpr DWORD kPollIntervalMs = 100;

}  // namespace

ProcessWait::ProcessWait(RunReporter& reporter, HANDLE cancelEvent)
    : m_reporter(reporter), m_cancelEvent(cancelEvent) {}

bool ProcessWait::waitForProcess(const std::wstring& path, uint32_t& exitCode) {
    if (path.empty() || launch::FileExists(path) != S_OK) {
        pxLib::LogInformation(
            L"qvd::plugin::QVDPluginImpl::waitForProcess(1398) : specified process do not "
            L"exists. %s",
            path);
        return false;
    }
    // Both the file name and the folder are compared in their long forms, so
    // that an 8.3 path finds the program it names.
    const std::wstring longPath = pxLib::ConvertToLongPath(path);
    pxLib::LogInformation(L"qvd::plugin::QVDPluginImpl::waitForProcess(1404) : converted path %s",
                          longPath);
    if (longPath.empty()) return false;
    const pxLib::PathParts wanted = pxLib::SplitPath(longPath);
    return waitWhileRunning(wanted.directory, wanted.fileName, exitCode);
}

bool ProcessWait::waitWhileRunning(const std::wstring& directory, const std::wstring& fileName,
                                   uint32_t& exitCode) {
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::LookingForProcess,
                 directory, fileName);
    bool seen = false;
    for (;;) {
        if (cancelled()) return seen;
        const bool found = pxLib::IsProcessRunning(directory, fileName);
        // Nothing to poll for: the wait below only serves a process still seen.
        if (!found) return seen;
        if (!seen) {
            m_reporter.ReportStatus(static_cast<int32_t>(JobStatus::Waiting));
            const pxLib::UniqueHandle process =
                pxLib::FindAndOpenProcess(directory, fileName, pxLib::kWaitAndQueryLimitedAccess);
            if (process) {
                waitForEnd(process.get(), exitCode);
                return true;
            }
            seen = true;
        }
        // Signalled, or a wait that failed and would fail again at once: stop polling.
        if (WaitForSingleObject(m_cancelEvent, kPollIntervalMs) != WAIT_TIMEOUT) return seen;
    }
}

void ProcessWait::waitForEnd(HANDLE process, uint32_t& exitCode) {
    const ProcessEnd end = WaitForProcessEnd(process, m_cancelEvent);
    switch (end.result) {
        case InstallerWaitResult::Cancelled:
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information,
                         TraceEvent::CancelledWhileWaiting);
            return;
        case InstallerWaitResult::Failed:
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::WaitFailed, end.error);
            return;
        case InstallerWaitResult::Ended:
            break;
    }
    if (end.exitCode)
        exitCode = *end.exitCode;
    else
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::ExitCodeUnread, end.error);
}

bool ProcessWait::cancelled() const {
    return WaitForSingleObject(m_cancelEvent, 0) == WAIT_OBJECT_0;
}

}  // namespace qvd::job

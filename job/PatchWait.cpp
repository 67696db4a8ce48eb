#include "job/PatchWait.h"

#include "support/errors/ErrorCode.h"
#include "support/isolation/IsolationSettings.h"
#include "support/logging/Trace.h"
#include "support/registry/RegistryKey.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

const pxLib::TraceSource kTraceSource{
    {0xc2b9bea9, 0xd27e, 0x45d7, {0xae, 0x97, 0x78, 0x98, 0x86, 0x78, 0xf5, 0x9c}}};
enum class TraceEvent : uint16_t {
    LookingForPatch = 1,
    NoNewVersion,
    OtherVersion,
    WaitsForRestart,
    AlreadyFinished,
    NoEvent,
    NotifyFailed,
    Waiting,
    StageGone,
    Finished,
    Cancelled,
    WaitFailed,
};

const wchar_t kNewVersionValue[] = L"NewVersion";
const wchar_t kStageValue[] = L"Stage";
const wchar_t kRebootKeyName[] = L"Reboot";
constexpr DWORD kStageFinished = 5;
constexpr DWORD kWatchTimeoutMs = 250;
constexpr DWORD kPatchChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

// "SOFTWARE\Halvex\<silo>\ZOLT\Patch\", to which the run key or "Reboot" is added.
std::wstring PatchKeyParent(const JobReader& reader) {
    std::u16string silo;
    reader.Silo(silo);
    return L"SOFTWARE\\Halvex\\" + pxLib::ToWide(silo) + L"\\ZOLT\\Patch\\";
}

// Asks for one signal of the event at the next change anywhere beneath the key.
bool Arm(HKEY patch, HANDLE changed) {
    const LONG rc = RegNotifyChangeKeyValue(patch, TRUE, kPatchChanges, changed, TRUE);
    if (rc == ERROR_SUCCESS) return true;
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::NotifyFailed,
                 pxLib::FailureFromErrorCode(static_cast<uint32_t>(rc)));
    return false;
}

// Waits until Stage reaches 5 or goes away, or the host cancels. The
// notification is armed again before Stage is read, so that a change made
// between the read and the arming is not lost; the cancel event is part of
// every wait, so a key that keeps changing cannot keep the cancel out.
PatchWaitResult WatchStage(pxLib::RegistryKey& patch, HANDLE changed, HANDLE cancelEvent) {
    if (!Arm(patch.Handle(), changed)) return PatchWaitResult::NothingToWaitFor;
    const HANDLE waitFor[] = {cancelEvent, changed};
    for (;;) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::Waiting);
        switch (WaitForMultipleObjects(2, waitFor, FALSE, kWatchTimeoutMs)) {
            case WAIT_OBJECT_0:
                pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::Cancelled);
                return PatchWaitResult::NothingToWaitFor;
            case WAIT_OBJECT_0 + 1: {
                if (!Arm(patch.Handle(), changed)) return PatchWaitResult::NothingToWaitFor;
                DWORD stage = 0;
                if (!patch.QueryDWORD(kStageValue, stage)) {
                    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information,
                                 TraceEvent::StageGone);
                    return PatchWaitResult::StageRemoved;
                }
                if (stage == kStageFinished) {
                    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information,
                                 TraceEvent::Finished);
                    return PatchWaitResult::NothingToWaitFor;
                }
                break;
            }
            case WAIT_TIMEOUT:
                break;
            default:
                // A wait that fails would fail again at once: going round would spin.
                pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::WaitFailed,
                             GetLastError());
                return PatchWaitResult::NothingToWaitFor;
        }
    }
}

}  // namespace

PatchWaitResult WaitForPendingPatch(const JobReader& reader, RunReporter& reporter,
                                    HANDLE cancelEvent) {
    const std::wstring parent = PatchKeyParent(reader);
    const std::wstring patchKeyName = parent + pxLib::ToWide(reader.RunKey());
    const std::wstring rebootKeyName = parent + kRebootKeyName;
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::LookingForPatch,
                 patchKeyName);
    const REGSAM access = KEY_READ | pxLib::IsolationSettings::RegistryView();

    pxLib::RegistryKey patch;
    if (!patch.Open(HKEY_LOCAL_MACHINE, patchKeyName.c_str(), access))
        return PatchWaitResult::NothingToWaitFor;
    std::wstring newVersion;
    if (!patch.QueryString(kNewVersionValue, newVersion)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::NoNewVersion);
        return PatchWaitResult::NothingToWaitFor;
    }
    // Exactly, letter case included: a patch to another version is not ours to wait for.
    if (newVersion != pxLib::ToWide(reader.ProductVersion())) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::OtherVersion,
                     newVersion);
        return PatchWaitResult::NothingToWaitFor;
    }
    pxLib::RegistryKey reboot;
    if (reboot.Open(HKEY_LOCAL_MACHINE, rebootKeyName.c_str(), access)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::WaitsForRestart);
        return PatchWaitResult::RestartNeeded;
    }
    DWORD stage = 0;
    if (!patch.QueryDWORD(kStageValue, stage)) return PatchWaitResult::NothingToWaitFor;
    if (stage == kStageFinished) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::AlreadyFinished);
        return PatchWaitResult::NothingToWaitFor;
    }

    reporter.ReportStatus(static_cast<int32_t>(JobStatus::Waiting));
    // Starts signalled: the first pass reads Stage again, so a change made
    // before the notification was armed is seen.
    const pxLib::UniqueHandle changed(CreateEventW(nullptr, FALSE, TRUE, nullptr));
    if (!changed) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::NoEvent, GetLastError());
        return PatchWaitResult::NothingToWaitFor;
    }
    return WatchStage(patch, changed.get(), cancelEvent);
}

}  // namespace qvd::job

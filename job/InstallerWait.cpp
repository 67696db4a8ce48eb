#include "job/InstallerWait.h"

#include "support/logging/Log.h"

namespace qvd::job {

ProcessEnd WaitForProcessEnd(HANDLE process, HANDLE cancelEvent) {
    ProcessEnd end;
    const HANDLE waitFor[] = {cancelEvent, process};
    switch (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE)) {
        case WAIT_OBJECT_0:
            end.result = InstallerWaitResult::Cancelled;
            return end;
        case WAIT_OBJECT_0 + 1:
            break;
        default:
            // The process may still run: its exit code would read STILL_ACTIVE.
            end.error = GetLastError();
            return end;
    }
    end.result = InstallerWaitResult::Ended;
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code))
        end.exitCode = code;
    else
        end.error = GetLastError();
    return end;
}

InstallerWaitResult WaitForInstaller(HANDLE process, HANDLE cancelEvent,
                                     std::optional<uint32_t>& exitCode) {
    const ProcessEnd end = WaitForProcessEnd(process, cancelEvent);
    exitCode = end.exitCode;
    if (end.result == InstallerWaitResult::Failed) {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(1064) : Waiting for the installer failed, error=%d",
            end.error);
    } else if (end.result == InstallerWaitResult::Ended && !end.exitCode) {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(1075) : GetExitCodeProcess failed, error=%d",
            end.error);
    }
    return end.result;
}

}  // namespace qvd::job

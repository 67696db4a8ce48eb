#include "job/InstallerWait.h"

#include "support/logging/Log.h"

namespace qvd::job {

InstallerWaitResult WaitForInstaller(HANDLE process, HANDLE cancelEvent,
                                     std::optional<uint32_t>& exitCode) {
    exitCode.reset();
    const HANDLE waitFor[] = {cancelEvent, process};
    switch (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE)) {
        case WAIT_OBJECT_0:
            return InstallerWaitResult::Cancelled;
        case WAIT_OBJECT_0 + 1:
            break;
        default:
            pxLib::LogError(
                L"qvd::plugin::QVDPluginImpl::run(1064) : Waiting for the installer "
                L"failed, error=%d",
                GetLastError());
            return InstallerWaitResult::Failed;
    }
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code)) {
        exitCode = code;
    } else {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(1075) : GetExitCodeProcess failed, error=%d",
            GetLastError());
    }
    return InstallerWaitResult::Ended;
}

}  // namespace qvd::job

// Waiting for an installer process, or for the host's cancel, whichever comes
// first. A cancel leaves the installer running.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace qvd::job {

enum class InstallerWaitResult : uint8_t {
    Ended,      // the installer ended; its exit code is given when it could be read
    Cancelled,  // the host cancelled first
    Failed,     // the wait itself failed: nothing is known of the installer
};

// The wait itself, for every waiter of the run. error is the system error of
// a failed wait, or of a failed exit-code read (the exit code is then empty).
struct ProcessEnd {
    InstallerWaitResult result = InstallerWaitResult::Failed;
    std::optional<uint32_t> exitCode;
    DWORD error = ERROR_SUCCESS;
};
ProcessEnd WaitForProcessEnd(HANDLE process, HANDLE cancelEvent);

// The wait for the installer the run started, with the run's log lines.
InstallerWaitResult WaitForInstaller(HANDLE process, HANDLE cancelEvent,
                                     std::optional<uint32_t>& exitCode);

}  // namespace qvd::job

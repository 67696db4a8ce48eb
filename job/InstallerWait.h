// Waiting for the started installer, or for the host's cancel, whichever
// comes first. A cancel leaves the installer running.
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

InstallerWaitResult WaitForInstaller(HANDLE process, HANDLE cancelEvent,
                                     std::optional<uint32_t>& exitCode);

}  // namespace qvd::job

// What an installer's exit code means for the job: its final state and what
// the host is told.
#pragma once

#include <cstdint>

namespace qvd::job {

constexpr uint32_t kExitInstallerDeclined = 0x80047C10;

struct ExitCodeOutcome {
    int32_t state = 0;
    bool reportsError = false;
    uint32_t errorCode = 0;  // for ReportError, with the run's line below
    unsigned errorLine = 0;
    bool reportsStatus = false;
    int32_t status = 0;          // for ReportStatus, after the error
    bool restartNeeded = false;  // RunOnce bookkeeping and the reboot-required mark
};

// The one code that is mapped before (and without) the follow-up installed check.
inline bool NeedsInstalledCheck(uint32_t exitCode) {
    return exitCode != kExitInstallerDeclined;
}

// installed: the follow-up installed check's answer (ignored when not needed).
ExitCodeOutcome MapInstallerExitCode(uint32_t exitCode, bool installed);

}  // namespace qvd::job

// What an installer's exit code means for the job: its final state and what
// the host is told. Pure, so that every row can be checked on its own.
#pragma once

#include "job/RunOutcome.h"

#include <cstdint>

namespace qvd::job {

constexpr uint32_t kExitInstallerDeclined = 0x80047C10;

// The one code that is mapped before (and without) the follow-up installed check.
[[nodiscard]] inline bool NeedsInstalledCheck(uint32_t exitCode) {
    return exitCode != kExitInstallerDeclined;
}

// installed: the follow-up installed check's answer (ignored when not needed).
RunOutcome MapInstallerExitCode(uint32_t exitCode, bool installed);

}  // namespace qvd::job

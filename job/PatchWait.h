// The host engine's staged update of the product: while the engine patches
// the product to the version this job installs, the run waits for the patch
// to finish instead of installing over it.
#pragma once

#include "job/JobDescription.h"
#include "job/RunReporter.h"

#include <windows.h>

namespace qvd::job {

enum class PatchWaitResult : uint8_t {
    NothingToWaitFor,  // no patch of this version, it finished, or the host cancelled
    StageRemoved,      // the patch's Stage value went away while it was watched
    RestartNeeded,     // the patch of this version waits for a restart
};

// Reads HKLM\SOFTWARE\Halvex\<silo>\ZOLT\Patch\<run_key> in the product's
// registry view. While a patch of the job's version is under way, reports
// status 15 and waits for its Stage to reach 5; a cancel ends the wait at once.
PatchWaitResult WaitForPendingPatch(const JobReader& reader, RunReporter& reporter,
                                    HANDLE cancelEvent);

}  // namespace qvd::job

// The per-job restart mark: a run that ended with a restart-needed result
// leaves it in HKEY_CURRENT_USER, and the next run of the same job takes it
// away again and knows that the restart it asked for is behind it. Registry
// failures are logged and absorbed; nothing here raises.
#pragma once

#include "job/JobDescription.h"

#include <string>

namespace qvd::job {

// "Software\Halvex\QVDPlugin" with the job id appended directly.
std::wstring RebootMarkKeyName(const JobReader& reader);

// Writes the mark, unless the job's mark key already exists.
void SetRebootRequired(const JobReader& reader);

// What the next run of the job needs after this one asked for a restart: the
// stub's path (its RunOnce entry goes once Windows has run it, and the next run
// waits for the stub) and the mark.
void RecordRestartState(const JobReader& reader);

// True when an earlier run left the mark; the mark's value and key are then
// removed (true even when removing them failed).
[[nodiscard]] bool CheckRebootFromLastRun(const JobReader& reader);

}  // namespace qvd::job

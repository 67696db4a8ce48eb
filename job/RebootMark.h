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

// True when an earlier run left the mark; the mark's value and key are then
// removed (true even when removing them failed).
bool CheckRebootFromLastRun(const JobReader& reader);

}  // namespace qvd::job

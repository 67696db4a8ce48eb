// Where the installer stub that resumes an installation after a restart is
// found: the installer registers it in the RunOnce list, and a restart-needed
// run copies its path to HKEY_CURRENT_USER under the job id, because Windows
// removes the RunOnce entry once it has run it.
#pragma once

#include "job/JobDescription.h"

#include <string>

namespace qvd::job {

// HKEY_CURRENT_USER: the stub paths recorded under each job's id.
inline constexpr wchar_t kInstStubKey[] = L"SOFTWARE\\Halvex";

// The program path (the first word, without its quotes) of the RunOnce entry
// named valueName; false when the entry is missing or yields no program word.
[[nodiscard]] bool ReadRunOnceCommandPath(const std::u16string& valueName, std::wstring& path);

// Copies the stub path of the job's RunOnce entry (named by run_key) to the
// value named by the job id. Writes nothing when there is no such entry;
// failures are absorbed.
void RecordInstStubPath(const JobReader& reader);

}  // namespace qvd::job

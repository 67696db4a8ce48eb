// Job ids of a test's own. A run of such a job may leave restart state in
// HKEY_CURRENT_USER: the job's restart mark key and the stub path recorded
// under its id. Both go when the object goes, and so does
// HKCU\Software\Halvex when it was not there before and nothing else is in it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvdtest {

class ScopedJobIds {
public:
    ScopedJobIds();
    ~ScopedJobIds();
    ScopedJobIds(const ScopedJobIds&) = delete;
    ScopedJobIds& operator=(const ScopedJobIds&) = delete;

    // A fresh id, remembered for the clean-up.
    std::wstring New();
    // The job text's member for a fresh id: "\"job_id\": \"<id>\"".
    std::string NewMember();

private:
    bool m_halvexExisted;
    std::vector<std::wstring> m_ids;
};

// HKEY_CURRENT_USER\Software\Halvex, shared by every job's restart state.
extern const wchar_t kUserHalvexKey[];
// Its subkey holding a job's restart mark.
std::wstring RestartMarkKey(const std::wstring& jobId);

}  // namespace qvdtest

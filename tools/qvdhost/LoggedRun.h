// --log: the job runs in a child qvdhost while this process holds the debug
// options switched on, and puts them back however the child ends.
#pragma once

#include "HostOptions.h"

#include <string>
#include <vector>

namespace qvdhost {

// The exit code of the run: the child's, or 2 when it could not be run or
// did not end as qvdhost ends.
int RunWithDebugLog(const HostOptions& options, const std::wstring& jobText);

// The lines of a debug log file (UTF-16 with a byte-order mark); false when
// there is no such file.
[[nodiscard]] bool ReadLogLines(const std::wstring& path, std::vector<std::wstring>& lines);

}  // namespace qvdhost

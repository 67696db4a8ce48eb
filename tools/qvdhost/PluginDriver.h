// Drives one job through a plug-in DLL, the host-model way or the COM way.
#pragma once

#include "HostOptions.h"
#include "HostReport.h"

#include <cstdint>
#include <string>

namespace qvdhost {

struct JobOutcome {
    int32_t state = 0;
    uint32_t exitCode = 0;
};

// False (with a message) when the plug-in could not be loaded or the job not started.
[[nodiscard]] bool RunJob(const HostOptions& options, const std::wstring& jobText,
                          JobOutcome& outcome, HostReport& report, std::wstring& error);

}  // namespace qvdhost

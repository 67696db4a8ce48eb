// Waiting for a process that someone else started, found by the path of its
// executable: by its end when it can be opened for waiting, otherwise by
// polling until it is gone. The host's cancel ends every wait.
#pragma once

#include "job/RunReporter.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace qvd::job {

class ProcessWait {
public:
    ProcessWait(RunReporter& reporter, HANDLE cancelEvent);

    // True when a process running from path was seen during the call; status
    // 15 is reported once, at the first sighting. exitCode is written only
    // when the process ended and its code could be read.
    [[nodiscard]] bool waitForProcess(const std::wstring& path, uint32_t& exitCode);

private:
    [[nodiscard]] bool waitWhileRunning(const std::wstring& directory, const std::wstring& fileName,
                                        uint32_t& exitCode);
    void waitForEnd(HANDLE process, uint32_t& exitCode);
    [[nodiscard]] bool cancelled() const;

    RunReporter& m_reporter;
    const HANDLE m_cancelEvent;
};

}  // namespace qvd::job

// Installations of this job that are already under way: the job's own
// installer started earlier by someone else, or the stub that resumes an
// installation after a restart. The run waits for them instead of starting a
// second installation.
#pragma once

#include "job/JobDescription.h"
#include "job/ProcessWait.h"
#include "job/RunReporter.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace qvd::job {

class RunningInstallers {
public:
    RunningInstallers(const JobReader& reader, RunReporter& reporter, HANDLE cancelEvent);

    // True when one of them was found running (and waited for where it could
    // be opened). exitCode is written only when the waited process's code was read.
    [[nodiscard]] bool waitForRunningInstallers(const std::wstring& installerPath,
                                                uint32_t& exitCode);

private:
    [[nodiscard]] bool waitForRecordedInstStub(uint32_t& exitCode);
    [[nodiscard]] bool waitForRunOnceInstStub(uint32_t& exitCode);

    const JobReader& m_reader;
    ProcessWait m_processWait;
};

}  // namespace qvd::job

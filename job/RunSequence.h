// One install job carried out from start to end on the plug-in's worker
// thread: whether the product still needs installing, the installer's
// arguments, its verification and launch, the wait and what its exit code
// means. The run owns its working state; the plug-in object only hands in the
// job, the host's sink and its cancel event, and stores the results.
#pragma once

#include "job/InstalledCheck.h"
#include "job/JobDescription.h"
#include "job/RunOutcome.h"
#include "job/RunReporter.h"
#include "support/system/UniqueHandle.h"

#include <json/json.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qvd::job {

constexpr uint32_t kExitCodeNotKnown = 0x8000FFFF;

class RunSequence {
public:
    // The job, the reporter and the cancel event are borrowed for the run.
    RunSequence(const Json::Value& job, RunReporter& reporter, HANDLE cancelEvent);
    RunSequence(const RunSequence&) = delete;
    RunSequence& operator=(const RunSequence&) = delete;

    // Carries the job out and returns its final state. Never throws: an
    // exception from any step ends the run as a failed one.
    JobState Run();

    // The installer's exit code once one was read, else kExitCodeNotKnown.
    uint32_t ExitCode() const { return m_exitCode; }

private:
    RunOutcome runSteps();
    RunOutcome launchAndWait(const std::wstring& installerPath, const std::u16string& arguments);
    RunOutcome waitForInstaller(pxLib::UniqueHandle process);
    RunOutcome mapExitCode();

    bool cancelled() const;
    bool productInstalled(InstalledCheckKind kind);
    // Reports what the outcome carries and gives its state: every end of the run passes here.
    JobState finish(const RunOutcome& outcome);

    const Json::Value& m_job;
    const JobReader m_reader;
    RunReporter& m_reporter;
    const HANDLE m_cancelEvent;

    bool m_forceOverinstall = false;
    InstalledVersion m_installedVersion;
    // Held from verification until the run ends, so the installer cannot change.
    pxLib::UniqueHandle m_heldInstaller;
    uint32_t m_exitCode = kExitCodeNotKnown;
};

}  // namespace qvd::job

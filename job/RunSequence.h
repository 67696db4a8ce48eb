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
#include "support/errors/ErrorCode.h"
#include "support/system/UniqueHandle.h"

#include <json/json.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qvd::job {

// The exit code before any installer ended (E_UNEXPECTED).
constexpr uint32_t kExitCodeNotKnown = static_cast<uint32_t>(pxLib::kUnexpectedFailure);

// How a run ended: the job's final state and the installer's exit code.
struct RunResult {
    JobState state = JobState::Failed;
    uint32_t exitCode = kExitCodeNotKnown;
};

class RunSequence {
public:
    // The job, the reporter and the cancel event are borrowed for the run.
    RunSequence(const Json::Value& job, RunReporter& reporter, HANDLE cancelEvent);
    RunSequence(const RunSequence&) = delete;
    RunSequence& operator=(const RunSequence&) = delete;

    // Carries the job out and returns its final state with the installer's
    // exit code (kExitCodeNotKnown unless one was read). Never throws: an
    // exception from any step ends the run as a failed one.
    [[nodiscard]] RunResult Run();

private:
    // An outcome with the exit code it came from, if any.
    struct StepEnd {
        StepEnd(const RunOutcome& outcome, uint32_t exitCode = kExitCodeNotKnown)
            : outcome(outcome), exitCode(exitCode) {}
        RunOutcome outcome;
        uint32_t exitCode;
    };

    StepEnd runSteps();
    StepEnd launchAndWait(const std::wstring& installerPath, const std::u16string& arguments);
    StepEnd waitForInstaller(pxLib::UniqueHandle process);
    StepEnd endWithExitCode(uint32_t exitCode);
    RunOutcome outcomeOfExitCode(uint32_t exitCode);
    // Whatever waits on the cancel event learns that the run is over.
    void signalRunOver();

    [[nodiscard]] bool cancelled() const;
    [[nodiscard]] bool productInstalled(InstalledCheckKind kind);
    // Reports what the outcome carries and gives its state: every end of the run passes here.
    JobState finish(const RunOutcome& outcome);

    const Json::Value& m_job;
    const JobReader m_reader;
    RunReporter& m_reporter;
    const HANDLE m_cancelEvent;

    bool m_forceOverinstall = false;
    // Held from verification until the run ends, so the installer cannot change.
    pxLib::UniqueHandle m_heldInstaller;
};

}  // namespace qvd::job

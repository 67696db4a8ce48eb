// How a run ends: the job's final state and what the host is told on the way
// out. Every end of the run, early or after the installer, is one of these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qvd::job {

// The job states the host reads (the plug-in's public header spells the same
// values for hosts).
enum class JobState : int32_t {
    Created = 0,
    Running = 2,
    Installed = 3,
    Rebooting = 4,            // the installer started a reboot
    RebootRequired = 5,       // a reboot is required or still pending
    NotInstalled = 6,         // cancelled, declined, or ended without the product
    InstallerUnreported = 7,  // a known installer code that is not reported
    InstallerReported = 8,    // an installer code that was reported
    InstallerDeclined = 10,   // the installer ended with 0x80047C10
    Failed = -1,              // no usable job, no process, unknown installer failure
    LaunchFailed = -2,        // failed verifying or starting the installer
    InstallerFailed = -3,     // installer code 0x80047D70..0x80047D73, reported
};

// The values of the sink's ReportStatus.
enum class JobStatus : int32_t {
    InstallerStarted = 4,
    Waiting = 15,
    InstalledAfterWait = 16,  // found installed after waiting (or a staged update)
    AlreadyInstalled = 17,    // found installed before anything was waited for; also
                              // sent when a staged update waits for a restart
    Declined = 18,
    Failed = -3,
};

// An error for the sink's ReportError: a code and the line of the run that
// the location text names.
struct RunError {
    uint32_t code;
    unsigned line;
};

// The location text of a run error, as hosts have always seen it.
std::u16string RunLocation(unsigned line);

// The run's own error codes with their fixed locations.
namespace run_errors {
constexpr RunError kNoInstallerEntry{0x80047F21, 608};
constexpr RunError kException{0x80047F22, 1177};
constexpr RunError kUnrecognisedExitCode{0x80047F23, 1170};
constexpr RunError kElevationDeclined{0x80047F24, 1028};
constexpr RunError kInstallerDeclined{0x80047F24, 1092};
constexpr RunError kUserLauncherNotPrepared{0x80047F25, 959};
constexpr RunError kUserSessionLaunchFailed{0x80047F25, 979};
constexpr RunError kShellLaunchFailed{0x80047F25, 1037};
// Installer exit codes that are passed on as they are, at these lines.
constexpr unsigned kReportedExitCodeLine = 1153;
constexpr unsigned kInstallerFailureLine = 1163;
}  // namespace run_errors

struct RunOutcome {
    JobState state = JobState::Failed;
    std::optional<RunError> error;    // reported first
    std::optional<JobStatus> status;  // reported after the error
    bool restartNeeded = false;       // RunOnce bookkeeping and the reboot-required mark

    static RunOutcome Ended(JobState state) { return {state, std::nullopt, std::nullopt, false}; }
    static RunOutcome Reported(JobState state, RunError error) {
        return {state, error, std::nullopt, false};
    }
    static RunOutcome Reported(JobState state, JobStatus status) {
        return {state, std::nullopt, status, false};
    }
    static RunOutcome Reported(JobState state, RunError error, JobStatus status) {
        return {state, error, status, false};
    }
};

// The early ends every run may take.
namespace run_outcomes {
// A cancel seen between steps: nothing is reported.
inline RunOutcome Cancelled() {
    return RunOutcome::Ended(JobState::NotInstalled);
}
inline RunOutcome NoInstallerEntry() {
    return RunOutcome::Reported(JobState::Failed, run_errors::kNoInstallerEntry, JobStatus::Failed);
}
inline RunOutcome Exception() {
    return RunOutcome::Reported(JobState::Failed, run_errors::kException);
}
inline RunOutcome AlreadyInstalled() {
    return RunOutcome::Reported(JobState::Installed, JobStatus::AlreadyInstalled);
}
inline RunOutcome InstalledAfterWait() {
    return RunOutcome::Reported(JobState::Installed, JobStatus::InstalledAfterWait);
}
// The host engine's update of this version waits for a restart.
inline RunOutcome StagedUpdateNeedsRestart() {
    return RunOutcome::Reported(JobState::RebootRequired, JobStatus::AlreadyInstalled);
}
// The machine has a restart pending: nothing is installed before it.
inline RunOutcome RestartPending() {
    return RunOutcome::Ended(JobState::RebootRequired);
}
// Verification or launch failed without an error of its own for the host.
inline RunOutcome NotStarted() {
    return RunOutcome::Reported(JobState::LaunchFailed, JobStatus::Failed);
}
inline RunOutcome LaunchFailed(RunError error) {
    return RunOutcome::Reported(JobState::LaunchFailed, error, JobStatus::Failed);
}
inline RunOutcome ElevationDeclined() {
    return RunOutcome::Reported(JobState::NotInstalled, run_errors::kElevationDeclined,
                                JobStatus::Declined);
}
// The launch gave no process to wait for.
inline RunOutcome NoProcess() {
    return RunOutcome::Ended(JobState::Failed);
}
}  // namespace run_outcomes

}  // namespace qvd::job

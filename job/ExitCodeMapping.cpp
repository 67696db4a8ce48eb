#include "job/ExitCodeMapping.h"

#include <algorithm>
#include <initializer_list>

namespace qvd::job {
namespace {

bool OneOf(uint32_t code, std::initializer_list<uint32_t> set) {
    return std::find(set.begin(), set.end(), code) != set.end();
}

RunOutcome RestartNeeded(JobState state) {
    RunOutcome outcome = RunOutcome::Ended(state);
    outcome.restartNeeded = true;
    return outcome;
}

}  // namespace

RunOutcome MapInstallerExitCode(uint32_t e, bool installed) {
    using namespace run_errors;
    if (e == kExitInstallerDeclined)
        return RunOutcome::Reported(JobState::InstallerDeclined, kInstallerDeclined,
                                    JobStatus::Declined);
    if (e == 0) return RunOutcome::Ended(installed ? JobState::Installed : JobState::NotInstalled);
    if (OneOf(e, {0x80070642, 0x80170642, 0x80047C09, 0x80047C13, 0x80047C14}))
        return RunOutcome::Ended(JobState::NotInstalled);
    if (OneOf(e, {0x80070669, 0x00047C03, 0x00047C04})) return RestartNeeded(JobState::Rebooting);
    if (OneOf(e, {0x80070BC2, 0x00047C05})) return RestartNeeded(JobState::RebootRequired);
    if (OneOf(e, {0x8017000C, 0x80047C05, 0x80047C02, 0x00047C02}))
        return RunOutcome::Ended(JobState::InstallerUnreported);
    if (OneOf(e, {0x80170002, 0x80070070, 0x80047C01}))
        return RunOutcome::Reported(JobState::InstallerReported,
                                    RunError{e, kReportedExitCodeLine});
    if (e >= 0x80047D70 && e <= 0x80047D73)
        return RunOutcome::Reported(JobState::InstallerFailed, RunError{e, kInstallerFailureLine});
    return RunOutcome::Reported(JobState::Failed, kUnrecognisedExitCode);
}

}  // namespace qvd::job

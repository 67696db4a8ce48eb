#include "job/RunSequence.h"

#include "job/ExitCodeMapping.h"
#include "job/ForceOverinstall.h"
#include "job/HostProcess.h"
#include "job/InstallerArguments.h"
#include "job/InstallerLaunch.h"
#include "job/InstallerWait.h"
#include "job/PatchWait.h"
#include "job/PrelaunchVerification.h"
#include "job/RebootMark.h"
#include "job/RunningInstallers.h"
#include "job/RuntimePreload.h"
#include "launch/DllSearchPath.h"
#include "support/errors/GuardedCall.h"
#include "support/isolation/IsolationSettings.h"
#include "support/registry/RebootMarker.h"
#include "support/system/ComPtr.h"
#include "support/text/Utf.h"

namespace qvd::job {

RunSequence::RunSequence(const Json::Value& job, RunReporter& reporter, HANDLE cancelEvent)
    : m_job(job), m_reader{job}, m_reporter(reporter), m_cancelEvent(cancelEvent) {}

RunResult RunSequence::Run() {
    pxLib::ComApartment apartment(COINIT_APARTMENTTHREADED);
    const std::optional<StepEnd> end =
        pxLib::GuardedCall(u"QVDPluginImpl", __LINE__, std::optional<StepEnd>(),
                           [this] { return std::optional<StepEnd>(runSteps()); });
    const RunResult result{finish(end ? end->outcome : run_outcomes::Exception()),
                           end ? end->exitCode : kExitCodeNotKnown};
    m_heldInstaller.reset();
    return result;
}

RunSequence::StepEnd RunSequence::runSteps() {
    Json::Value installerEntry;
    if (!FindInstallerFileEntry(m_job, installerEntry)) return run_outcomes::NoInstallerEntry();
    const std::wstring installerPath = pxLib::ToWide(m_reader.InstallerPath(installerEntry));
    if (cancelled()) return run_outcomes::Cancelled();

    // Every later access to the product's keys goes to the view it was installed in.
    std::u16string silo;
    if (m_reader.Silo(silo)) pxLib::SelectProductRegistryView(silo);
    PreloadCRuntimeForRun();

    const PatchWaitResult patch = WaitForPendingPatch(m_reader, m_reporter, m_cancelEvent);
    if (patch == PatchWaitResult::RestartNeeded) return run_outcomes::StagedUpdateNeedsRestart();
    if (pxLib::IsRebootPending()) return run_outcomes::RestartPending();

    if (cancelled()) return run_outcomes::Cancelled();
    m_forceOverinstall = ReadForceOverinstall(m_reader);
    // The restart the previous run asked for is behind us: what it installed stands.
    if (CheckRebootFromLastRun(m_reader)) m_forceOverinstall = false;

    if (productInstalled(InstalledCheckKind::First))
        return patch == PatchWaitResult::StageRemoved ? run_outcomes::InstalledAfterWait()
                                                      : run_outcomes::AlreadyInstalled();
    if (cancelled()) return run_outcomes::Cancelled();

    uint32_t waitedExitCode = 0;
    const bool waited = RunningInstallers(m_reader, m_reporter, m_cancelEvent)
                            .waitForRunningInstallers(installerPath, waitedExitCode);
    if (cancelled()) return run_outcomes::Cancelled();
    // The product may have been installed meanwhile, by what was waited for or by others.
    if (productInstalled(waited ? InstalledCheckKind::FollowUp : InstalledCheckKind::First))
        return run_outcomes::InstalledAfterWait();
    if (waited) return endWithExitCode(waitedExitCode);

    InstallerArguments arguments = BuildInstallerArguments(m_reader, CurrentHostProcess());
    if (cancelled()) return run_outcomes::Cancelled();
    StripWhenAsked(arguments);

    std::wstring verifiedPath;
    if (VerifyInstallerBeforeLaunch(installerPath, m_heldInstaller, verifiedPath) != S_OK)
        return run_outcomes::NotStarted();
    launch::RestoreDefaultDllSearchPath();
    return launchAndWait(verifiedPath, arguments.text);
}

RunSequence::StepEnd RunSequence::launchAndWait(const std::wstring& installerPath,
                                                const std::u16string& arguments) {
    LaunchResult launched = HostIsService()
                                ? LaunchAsService(m_reader, installerPath, arguments, m_cancelEvent)
                                : LaunchForInteractiveHost(m_reader, installerPath, arguments);
    if (launched.failure) return *launched.failure;
    return waitForInstaller(std::move(launched.process));
}

RunSequence::StepEnd RunSequence::waitForInstaller(pxLib::UniqueHandle process) {
    if (!process) return run_outcomes::NoProcess();
    m_reporter.ReportStatus(static_cast<int32_t>(JobStatus::InstallerStarted));
    std::optional<uint32_t> exitCode;
    switch (WaitForInstaller(process.get(), m_cancelEvent, exitCode)) {
        case InstallerWaitResult::Cancelled:
            return run_outcomes::Cancelled();
        case InstallerWaitResult::Failed:
            return run_outcomes::NoProcess();
        case InstallerWaitResult::Ended:
            break;
    }
    process.reset();
    return endWithExitCode(exitCode.value_or(kExitCodeNotKnown));
}

RunSequence::StepEnd RunSequence::endWithExitCode(uint32_t exitCode) {
    // The code was read: a failure from here on still leaves it to the host.
    const std::optional<RunOutcome> outcome =
        pxLib::GuardedCall(u"QVDPluginImpl", __LINE__, std::optional<RunOutcome>(), [&] {
            const RunOutcome mapped = outcomeOfExitCode(exitCode);
            if (mapped.restartNeeded) RecordRestartState(m_reader);
            signalRunOver();
            return std::optional<RunOutcome>(mapped);
        });
    return {outcome ? *outcome : run_outcomes::Exception(), exitCode};
}

RunOutcome RunSequence::outcomeOfExitCode(uint32_t exitCode) {
    const bool installed =
        NeedsInstalledCheck(exitCode) && productInstalled(InstalledCheckKind::FollowUp);
    return MapInstallerExitCode(exitCode, installed);
}

void RunSequence::signalRunOver() {
    SetEvent(m_cancelEvent);
}

bool RunSequence::cancelled() const {
    return WaitForSingleObject(m_cancelEvent, 0) == WAIT_OBJECT_0;
}

bool RunSequence::productInstalled(InstalledCheckKind kind) {
    return IsProductInstalled(m_reader, kind, m_forceOverinstall);
}

JobState RunSequence::finish(const RunOutcome& outcome) {
    if (outcome.error)
        m_reporter.ReportError(static_cast<int32_t>(outcome.error->code),
                               RunLocation(outcome.error->line));
    if (outcome.status) m_reporter.ReportStatus(static_cast<int32_t>(*outcome.status));
    return outcome.state;
}

}  // namespace qvd::job

#include "FaultScenarios.h"

#include "ProductProof.h"
#include "common/ScopedJobIds.h"

#include <algorithm>

namespace qvdfault {
namespace {

using qvdtest::SinkCall;

// A state left at 2 this long is a hang.
constexpr DWORD kHangMs = 30000;
// How long a reported start may take to show as the installer's marker.
constexpr DWORD kMarkerMs = 10000;

const int32_t kDescribedStates[] = {
    qvd::QVD_STATE_INSTALLED,
    qvd::QVD_STATE_REBOOTING,
    qvd::QVD_STATE_REBOOT_REQUIRED,
    qvd::QVD_STATE_NOT_INSTALLED,
    qvd::QVD_STATE_INSTALLER_UNREPORTED,
    qvd::QVD_STATE_INSTALLER_REPORTED,
    qvd::QVD_STATE_INSTALLER_DECLINED,
    qvd::QVD_STATE_FAILED,
    qvd::QVD_STATE_LAUNCH_FAILED,
    qvd::QVD_STATE_INSTALLER_FAILED,
};
constexpr uint32_t kNothingRanExitCode = 0x8000FFFF;

bool Reported(const ScenarioRun& run, int32_t status) {
    return std::any_of(run.calls.begin(), run.calls.end(), [status](const SinkCall& call) {
        return !call.isError && call.value == status;
    });
}

// Restart-needed runs leave restart state under their job id: every run has
// a fresh one, all removed when the process ends.
qvdtest::ScopedJobIds& JobIds() {
    static qvdtest::ScopedJobIds ids;
    return ids;
}

void WaitForObjectsToGo(qvdtest::LoadedPlugin& dll, ScenarioRun& run) {
    const ULONGLONG end = GetTickCount64() + 5000;
    do {
        run.objectsLeft = dll.GetObjectCount ? dll.GetObjectCount() : 0;
    } while (run.objectsLeft != 0 && GetTickCount64() < end && (Sleep(10), true));
}

}  // namespace

const std::vector<ScenarioPlan>& Scenarios() {
    static const std::vector<ScenarioPlan> scenarios = {
        {"install", L"maker", "0", false, true, false, false, qvd::QVD_STATE_INSTALLED, true,
         qvd::QVD_STATUS_INSTALLER_STARTED},
        {"restart-needed", L"maker", "0x80070BC2", false, false, false, true,
         qvd::QVD_STATE_REBOOT_REQUIRED, true, qvd::QVD_STATUS_INSTALLER_STARTED},
        {"unsigned", L"unsigned", "0", false, true, false, false, qvd::QVD_STATE_LAUNCH_FAILED,
         false, qvd::QVD_STATUS_FAILED},
        {"already-installed", L"maker", "0", true, true, false, false, qvd::QVD_STATE_INSTALLED,
         false, qvd::QVD_STATUS_ALREADY_INSTALLED},
        {"cancelled", L"maker", "0", false, true, true, false, qvd::QVD_STATE_NOT_INSTALLED, true,
         qvd::QVD_STATUS_INSTALLER_STARTED},
    };
    return scenarios;
}

const ScenarioPlan* FindScenario(const std::string& name) {
    for (const ScenarioPlan& plan : Scenarios())
        if (name == plan.name) return &plan;
    return nullptr;
}

ScenarioRun RunScenario(const ScenarioPlan& plan, qvdtest::LoadedPlugin& dll) {
    ScenarioRun run;
    qvdtest::TempDir dir;
    qvdtest::ProductProof product(dir);
    product.SetInstalled(plan.installedBefore);
    const std::wstring marker = dir.file(L"started"), release = dir.file(L"release");
    std::vector<std::string> behaviour = {"started_marker=" + qvdtest::Narrow(marker),
                                          std::string("exit_code=") + plan.exitCode};
    if (plan.writesProof)
        behaviour.push_back("write_file=" + qvdtest::Narrow(product.FinalMarker()));
    if (plan.cancelled) behaviour.push_back("wait_for_file=" + qvdtest::Narrow(release));
    const std::wstring installer =
        qvdtest::PlaceInstaller(dir, plan.fixture, L"setup.exe", behaviour);
    std::string members = product.ProductData();
    if (plan.jobId) members += ", " + JobIds().NewMember();
    const std::wstring job = qvdtest::JobFor(installer, members);

    qvdtest::RecordingSink sink;
    {
        pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
        run.created = static_cast<bool>(plugin);
        if (plugin) {
            run.startResult = plugin->Start(job.c_str(), &sink);
            if (plan.cancelled && run.startResult == S_OK) {
                const ULONGLONG end = GetTickCount64() + kHangMs;
                int32_t state = qvd::QVD_STATE_RUNNING;
                while (plugin->GetState(&state), state == qvd::QVD_STATE_RUNNING &&
                                                     !qvdtest::FileExists(marker) &&
                                                     GetTickCount64() < end)
                    Sleep(10);
                plugin->CancelAndWait();
            }
            run.state = qvdtest::WaitForFinalState(plugin, kHangMs);
            run.ended = run.startResult != S_OK || run.state != qvd::QVD_STATE_RUNNING;
            if (!run.ended) return run;  // the caller reports the hang and ends the process
            run.exitCode = plugin->GetExitCode();
        }
    }
    run.calls = sink.Calls();
    run.installerStarted =
        qvdtest::FileExists(marker) || (Reported(run, qvd::QVD_STATUS_INSTALLER_STARTED) &&
                                        qvdtest::WaitForFile(marker, kMarkerMs));
    // A cancelled installer is let go, and every started one is waited for, so
    // that the folder can go.
    qvdtest::WriteFileUtf8(release, "go");
    if (run.installerStarted && plan.writesProof)
        qvdtest::WaitForFile(product.FinalMarker(), kMarkerMs);
    WaitForObjectsToGo(dll, run);
    Sleep(100);
    return run;
}

std::string FalseSuccess(const ScenarioPlan& plan, const ScenarioRun& run) {
    if (!run.created || run.startResult != S_OK) return {};
    if (std::find(std::begin(kDescribedStates), std::end(kDescribedStates), run.state) ==
        std::end(kDescribedStates))
        return "final state " + std::to_string(run.state) + " is outside the described set";
    if (Reported(run, qvd::QVD_STATUS_INSTALLER_STARTED) && !run.installerStarted)
        return "status 4 without a started installer";
    if (plan.fixture == std::wstring(L"unsigned") && run.installerStarted)
        return "the unsigned installer was started";
    if (run.state == qvd::QVD_STATE_INSTALLED && !plan.installedBefore && !run.installerStarted)
        return "state 3 for a product that was not installed, and no installer ran";
    if (!run.installerStarted && run.exitCode != kNothingRanExitCode) {
        char text[64];
        snprintf(text, sizeof(text), "exit code 0x%08X when nothing ran", run.exitCode);
        return text;
    }
    return {};
}

std::string NotClean(const ScenarioPlan& plan, const ScenarioRun& run) {
    if (!run.created) return "no object";
    if (run.startResult != S_OK) return "Start refused the job";
    if (run.state != plan.cleanState)
        return "state " + std::to_string(run.state) + ", not " + std::to_string(plan.cleanState);
    if (run.installerStarted != plan.cleanStarts)
        return plan.cleanStarts ? "the installer did not start" : "the installer started";
    if (plan.cleanStatus != 0 && !Reported(run, plan.cleanStatus))
        return "no status " + std::to_string(plan.cleanStatus) + " (" +
               qvdtest::Describe(run.calls) + ")";
    return {};
}

}  // namespace qvdfault

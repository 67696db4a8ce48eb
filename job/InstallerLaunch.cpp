#include "job/InstallerLaunch.h"

#include "job/InstallerArguments.h"
#include "launch/ProcessLauncher.h"
#include "launch/ShellLaunch.h"
#include "launch/UacSetting.h"
#include "launch/UserLauncher.h"
#include "support/system/Platform.h"
#include "support/text/Utf.h"

namespace qvd::job {

bool HostIsService() {
    return pxLib::Platform().IsLocalSystem();
}

LaunchResult LaunchAsService(const JobReader& reader, const std::wstring& installerPath,
                             const std::u16string& arguments, HANDLE cancelEvent) {
    LaunchResult result;
    const std::wstring commandLine =
        pxLib::ToWide(FullCommandLine(pxLib::ToU16(installerPath), arguments));
    if (!reader.ContextIsSystem()) {
        launch::UserLauncher launcher;
        if (FAILED(launcher.PrepareUserToken(true))) {
            result.failure = run_outcomes::LaunchFailed(run_errors::kUserLauncherNotPrepared);
            return result;
        }
        launcher.SetCancelEvent(cancelEvent);
        const HRESULT launched = launcher.LaunchInUserSession(commandLine);
        if (WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0)
            result.failure = run_outcomes::Cancelled();
        else if (FAILED(launched) || launched == S_FALSE)
            result.failure = run_outcomes::LaunchFailed(run_errors::kUserSessionLaunchFailed);
        else
            result.process = launcher.TakeProcess();
        return result;
    }
    launch::ProcessLauncher launcher;
    if (FAILED(launcher.Launch(commandLine))) {
        // The launcher's failure has no error code of its own for the host.
        result.failure = run_outcomes::NotStarted();
        return result;
    }
    result.process = launcher.TakeProcess();
    return result;
}

LaunchResult LaunchForInteractiveHost(const JobReader& reader, const std::wstring& installerPath,
                                      const std::u16string& arguments) {
    LaunchResult result;
    const bool elevate = reader.Admin() && launch::IsUacEnabled();
    const HRESULT launched = launch::LaunchThroughShell(installerPath, pxLib::ToWide(arguments),
                                                        elevate, result.process);
    if (launched == launch::kElevationDeclined)
        result.failure = run_outcomes::ElevationDeclined();
    else if (FAILED(launched))
        result.failure = run_outcomes::LaunchFailed(run_errors::kShellLaunchFailed);
    return result;
}

}  // namespace qvd::job

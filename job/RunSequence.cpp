// The run sequence: the body of each job's worker thread.
#include "plugin/QVDPluginImpl.h"

#include "job/ExitCodeMapping.h"
#include "job/HostProcess.h"
#include "job/InstallerArguments.h"
#include "job/JobDescription.h"
#include "job/RuntimePreload.h"
#include "launch/InstallerOptions.h"
#include "launch/ProcessLauncher.h"
#include "launch/ShellLaunch.h"
#include "launch/UacSetting.h"
#include "support/isolation/IsolationSettings.h"
#include "support/logging/ExceptionRecord.h"
#include "support/logging/Log.h"
#include "support/system/ComPtr.h"
#include "support/system/Platform.h"
#include "support/text/Utf.h"
#include "trust/InstallerTrust.h"

#include <string>

namespace qvd::plugin {
namespace {

constexpr int32_t kCancelled = QVD_STATE_NOT_INSTALLED;

std::wstring RunLocation(unsigned line) {
    return L"qvd::plugin::QVDPluginImpl::run(" + std::to_wstring(line) + L")";
}

}  // namespace

void QVDPluginImpl::reportError(uint32_t code, unsigned line) {
    m_pSink->ReportError(static_cast<int32_t>(code), RunLocation(line).c_str());
}

void QVDPluginImpl::reportStatus(int32_t status) {
    m_pSink->ReportStatus(status);
}

bool QVDPluginImpl::isCancelled() const {
    return WaitForSingleObject(m_hCancelEvent.get(), 0) == WAIT_OBJECT_0;
}

void QVDPluginImpl::run() {
    int32_t finalState = QVD_STATE_FAILED;
    {
        pxLib::ComApartment apartment(COINIT_APARTMENTTHREADED);
        // Held from verification until the run ends, so the installer cannot change.
        pxLib::UniqueHandle heldInstaller;
        pxLib::CExceptionRecord record;
        try {
            finalState = runSteps(heldInstaller);
        } catch (...) {
            record.Capture(u"QVDPluginImpl", __LINE__);
        }
        if (record.Caught()) {
            reportError(QVD_E_EXCEPTION, 1177);
            finalState = QVD_STATE_FAILED;
        }
    }
    // The last access to this object: the host may release it once it sees this.
    m_nState = finalState;
}

int32_t QVDPluginImpl::runSteps(pxLib::UniqueHandle& heldInstaller) {
    // Steps 2-3: the installer entry and its path.
    Json::Value installerEntry;
    if (!job::FindInstallerFileEntry(m_job, installerEntry)) {
        reportError(QVD_E_NO_INSTALLER, 608);
        reportStatus(QVD_STATUS_FAILED);
        return QVD_STATE_FAILED;
    }
    const job::JobReader reader{m_job};
    const std::wstring installerPath = pxLib::ToWide(reader.InstallerPath(installerEntry));

    if (isCancelled()) return kCancelled;  // step 4

    // Step 5: the product's registry view, settled once per process.
    std::u16string silo;
    if (reader.Silo(silo)) pxLib::SelectProductRegistryView(silo);

    // Step 6.
    const HRESULT preload = job::PreloadCRuntime();
    if (FAILED(preload)) {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(638) : Unable to Preload ucrtbase.dll - hr=0x%08X",
            preload);
    } else {
        pxLib::LogInformation(L"qvd::plugin::QVDPluginImpl::run(643) : Preloaded ucrtbase.dll");
    }

    // Step 9.
    if (isCancelled()) return kCancelled;
    job::JsonKind forceKind = job::JsonKind::Null;
    bool forced = false;
    if (reader.ForceOverinstall(forceKind, forced)) {
        if (forceKind == job::JsonKind::Int) {
            if (forced) m_bForceOverinstall = true;
        } else {
            pxLib::LogWarning(
                L"qvd::plugin::QVDPluginImpl::run(671) : force_overinstall of type %d ignored",
                static_cast<int>(forceKind));
        }
    }

    // Step 11: installed already?
    if (isProductInstalled(false)) {
        reportStatus(QVD_STATUS_ALREADY_INSTALLED);
        return QVD_STATE_INSTALLED;
    }
    if (isCancelled()) return kCancelled;  // step 12
    if (isCancelled()) return kCancelled;  // step 14
    // Step 15: installed meanwhile? (no installer of this product was waited for)
    if (isProductInstalled(false)) {
        reportStatus(QVD_STATUS_INSTALLED_AFTER_WAIT);
        return QVD_STATE_INSTALLED;
    }

    // Step 16: the installer's arguments.
    job::InstallerArguments arguments =
        job::BuildInstallerArguments(reader, job::CurrentHostProcess());

    // Step 17.
    if (isCancelled()) return kCancelled;
    if (arguments.strip) {
        std::u16string stripped;
        if (launch::StripInstallerOptions(arguments.text, stripped)) arguments.text = stripped;
    }

    // Step 18: prelaunch verification.
    const HRESULT trusted = pxLib::VerifyInstallerTrust(installerPath, heldInstaller);
    if (trusted != S_OK) {
        reportStatus(QVD_STATUS_FAILED);
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(905) : Prelaunch verification of installer  "
            L"failed, hr=0x%08X",
            trusted);
        return QVD_STATE_LAUNCH_FAILED;
    }

    // Step 19.
    if (!SetDllDirectoryW(nullptr)) {
        pxLib::LogError(L"qvd::plugin::QVDPluginImpl::run(923) : SetDllDirectory(NULL) Failed - %d",
                        GetLastError());
    }

    // Steps 20-22: the launch.
    pxLib::UniqueHandle process;
    if (pxLib::Platform().IsLocalSystem()) {
        // Step 21: a service host.
        const std::wstring commandLine =
            pxLib::ToWide(job::FullCommandLine(pxLib::ToU16(installerPath), arguments.text));
        if (!reader.ContextIsSystem()) {
            // The user-session launcher is not part of this build yet.
            reportError(QVD_E_LAUNCH_FAILED, 959);
            reportStatus(QVD_STATUS_FAILED);
            return QVD_STATE_LAUNCH_FAILED;
        }
        launch::ProcessLauncher launcher;
        if (FAILED(launcher.Launch(commandLine)) ||
            !DuplicateHandle(GetCurrentProcess(), launcher.ProcessHandle(), GetCurrentProcess(),
                             process.put(), 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            reportStatus(QVD_STATUS_FAILED);
            return QVD_STATE_LAUNCH_FAILED;
        }
        return waitAndMapExitCode(process);
    }
    // Step 22: through the shell.
    const bool elevate = reader.Admin() && launch::IsUacEnabled();
    const HRESULT launched =
        launch::LaunchThroughShell(installerPath, pxLib::ToWide(arguments.text), elevate, process);
    if (launched == launch::kElevationDeclined) {
        reportError(QVD_E_DECLINED, 1028);
        reportStatus(QVD_STATUS_DECLINED);
        return QVD_STATE_NOT_INSTALLED;
    }
    if (FAILED(launched)) {
        reportError(QVD_E_LAUNCH_FAILED, 1037);
        reportStatus(QVD_STATUS_FAILED);
        return QVD_STATE_LAUNCH_FAILED;
    }

    return waitAndMapExitCode(process);
}

int32_t QVDPluginImpl::waitAndMapExitCode(pxLib::UniqueHandle& process) {
    // Step 23.
    if (!process) return QVD_STATE_FAILED;

    // Step 24: wait for the installer, or for a cancel (which leaves it running).
    reportStatus(QVD_STATUS_INSTALLER_STARTED);
    const HANDLE waitFor[] = {m_hCancelEvent.get(), process.get()};
    if (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_OBJECT_0) return kCancelled;
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode)) {
        m_dwExitCode = exitCode;
    } else {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(1075) : GetExitCodeProcess failed, error=%d",
            GetLastError());
    }
    process.reset();

    // Step 25: what the exit code means.
    const uint32_t code = m_dwExitCode.load();
    const bool installed = job::NeedsInstalledCheck(code) && isProductInstalled(true);
    const job::ExitCodeOutcome outcome = job::MapInstallerExitCode(code, installed);
    if (outcome.reportsError) reportError(outcome.errorCode, outcome.errorLine);
    if (outcome.reportsStatus) reportStatus(outcome.status);
    SetEvent(m_hCancelEvent.get());
    return outcome.state;
}

}  // namespace qvd::plugin

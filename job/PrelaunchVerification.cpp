#include "job/PrelaunchVerification.h"

#include "support/errors/LastError.h"
#include "support/logging/Log.h"
#include "support/system/FileIdentity.h"
#include "support/system/FinalPath.h"
#include "trust/InstallerTrust.h"

namespace qvd::job {

HRESULT VerifyInstallerBeforeLaunch(const std::wstring& installerPath, pxLib::UniqueHandle& held,
                                    std::wstring& launchPath) {
    HRESULT trusted = pxLib::VerifyInstallerTrust(installerPath, held);
    // Path rules (a trailing dot or blank trimmed) could lead the launch from
    // the resolved path to another file: it must lead back to the held one.
    if (trusted == S_OK && (!pxLib::FinalPathOf(held.get(), launchPath) ||
                            !pxLib::PathNamesHeldFile(launchPath, held.get())))
        trusted = pxLib::HResultFromLastError();
    if (trusted != S_OK) {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(905) : Prelaunch verification of installer  "
            L"failed, hr=0x%08X",
            trusted);
    }
    return trusted;
}

}  // namespace qvd::job

#include "job/PrelaunchVerification.h"

#include "support/errors/LastError.h"
#include "support/logging/Log.h"
#include "support/system/FinalPath.h"
#include "trust/InstallerTrust.h"

namespace qvd::job {

HRESULT VerifyInstallerBeforeLaunch(const std::wstring& installerPath, pxLib::UniqueHandle& held,
                                    std::wstring& launchPath) {
    HRESULT trusted = pxLib::VerifyInstallerTrust(installerPath, held);
    if (trusted == S_OK && !pxLib::FinalPathOf(held.get(), launchPath))
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

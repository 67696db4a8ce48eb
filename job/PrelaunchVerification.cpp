#include "job/PrelaunchVerification.h"

#include "support/errors/LastError.h"
#include "support/logging/Log.h"
#include "support/system/FileIdentity.h"
#include "support/system/FinalPath.h"
#include "trust/InstallerTrust.h"

namespace qvd::job {
namespace {

// A launcher may read "%NAME%" in a path as a variable (Wine's shell does
// even unasked), so a path with a percent sign is not proven to name the
// held file, whatever its open shows.
bool FreeOfVariableText(const std::wstring& path) {
    if (path.find(L'%') == std::wstring::npos) return true;
    SetLastError(ERROR_FILE_INVALID);
    return false;
}

}  // namespace

HRESULT VerifyInstallerBeforeLaunch(const std::wstring& installerPath, pxLib::UniqueHandle& held,
                                    std::wstring& launchPath) {
    HRESULT trusted = pxLib::VerifyInstallerTrust(installerPath, held);
    // Path rules (a trailing dot or blank trimmed) could lead the launch from
    // the resolved path to another file: it must lead back to the held one.
    if (trusted == S_OK &&
        (!pxLib::FinalPathOf(held.get(), launchPath) || !FreeOfVariableText(launchPath) ||
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

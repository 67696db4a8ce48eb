#include "job/HostProcess.h"

#include "support/logging/Log.h"
#include "support/process/ProcessAccess.h"
#include "support/process/ProcessHelpers.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

bool ReadHostImagePath(std::u16string& path) {
    pxLib::UniqueHandle self(OpenProcess(pxLib::kQueryAndReadAccess, FALSE, GetCurrentProcessId()));
    if (!self) {
        pxLib::LogError(L"qvd::plugin::QVDPluginImpl::run(788) : OpenProcess failed: %!WINERROR!",
                        GetLastError());
        return false;
    }
    std::wstring image;
    if (!pxLib::GetProcessImagePath(self.get(), image)) {
        pxLib::LogError(L"qvd::plugin::QVDPluginImpl::run(795) : GetProcessImagePath failed");
        return false;
    }
    path = pxLib::ToU16(image);
    return true;
}

}  // namespace

HostProcess CurrentHostProcess() {
    HostProcess host;
    host.readImagePath = &ReadHostImagePath;
    host.parsed = host.commandLine.ParseProcessCommandLine();
    return host;
}

}  // namespace qvd::job

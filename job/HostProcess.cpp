#include "job/HostProcess.h"

#include "support/logging/Log.h"
#include "support/process/ProcessImagePath.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

bool ReadHostImagePath(std::u16string& path) {
    // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
    pxLib::UniqueHandle self(OpenProcess(0x410, FALSE, GetCurrentProcessId()));
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

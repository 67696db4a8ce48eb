#include "launch/DllSearchPath.h"

#include "support/logging/Log.h"

#include <windows.h>

namespace qvd::launch {

void RestoreDefaultDllSearchPath() {
    if (!SetDllDirectoryW(nullptr)) {
        pxLib::LogError(L"qvd::plugin::QVDPluginImpl::run(923) : SetDllDirectory(NULL) Failed - %d",
                        GetLastError());
    }
}

}  // namespace qvd::launch

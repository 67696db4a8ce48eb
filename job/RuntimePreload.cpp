#include "job/RuntimePreload.h"

#include "support/errors/LastError.h"
#include "support/logging/Log.h"
#include "support/paths/PathExpansion.h"
#include "support/system/Platform.h"

#include <string>

namespace qvd::job {
namespace {

const wchar_t kRuntimePath[] = L"%INSTALLDIR%\\ucrtbase.dll";

HRESULT LoadRuntimeLibrary() {
    std::wstring path;
    if (!pxLib::ExpandPath(kRuntimePath, path)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    // Loaded for the rest of the process: the handle is deliberately not kept.
    if (LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH) != nullptr)
        return S_OK;
    return pxLib::HResultFromLastError();
}

}  // namespace

HRESULT PreloadCRuntime() {
    if (pxLib::Platform().Version().AtLeast(6, 2)) return S_OK;
    // Once per process; later calls get the first attempt's result.
    static const HRESULT s_hrPreload = LoadRuntimeLibrary();
    return s_hrPreload;
}

void PreloadCRuntimeForRun() {
    const HRESULT preload = PreloadCRuntime();
    if (FAILED(preload)) {
        pxLib::LogError(
            L"qvd::plugin::QVDPluginImpl::run(638) : Unable to Preload ucrtbase.dll - hr=0x%08X",
            preload);
    } else {
        pxLib::LogInformation(L"qvd::plugin::QVDPluginImpl::run(643) : Preloaded ucrtbase.dll");
    }
}

}  // namespace qvd::job

#include "job/RuntimePreload.h"

#include "support/system/Platform.h"

namespace qvd::job {

HRESULT PreloadCRuntime() {
    if (pxLib::Platform().Version().AtLeast(6, 2)) return S_OK;
    // The older-system branch needs the expansion of "%INSTALLDIR%", which this
    // build does not have yet: an expansion that fails gives ERROR_PATH_NOT_FOUND.
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

}  // namespace qvd::job

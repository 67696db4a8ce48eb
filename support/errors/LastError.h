// The thread's last Win32 error as a failing HRESULT, for calls that report
// failure through GetLastError.
#pragma once

#include "support/errors/ErrorCode.h"

#include <windows.h>

namespace pxLib {

[[nodiscard]] inline HRESULT HResultFromError(DWORD error) {
    return FailureFromErrorCode(error);
}

[[nodiscard]] inline HRESULT HResultFromLastError() {
    return FailureFromErrorCode(::GetLastError());
}

}  // namespace pxLib

// A system error code as a failing HRESULT, in portable form: the one rule for
// every "the call failed, say why" in the tree.
#pragma once

#include <cstdint>

namespace pxLib {

constexpr int32_t kUnexpectedFailure = static_cast<int32_t>(0x8000FFFFu);  // E_UNEXPECTED

// As HRESULT_FROM_WIN32, except that a call which failed without setting an
// error still fails: error 0 gives E_UNEXPECTED rather than S_OK.
constexpr int32_t FailureFromErrorCode(uint32_t error) {
    if (error == 0) return kUnexpectedFailure;
    if (static_cast<int32_t>(error) < 0) return static_cast<int32_t>(error);
    return static_cast<int32_t>((error & 0xFFFFu) | 0x80070000u);
}

}  // namespace pxLib

// Result codes of the embedded-install-data classes. They are HRESULTs on
// Windows; the native build spells the same 32-bit values with its own type.
#pragma once

#include "support/errors/ErrorCode.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

namespace ZOLT {

#ifdef _WIN32
using ::HRESULT;
#else
typedef int32_t HRESULT;
#endif

[[nodiscard]] constexpr HRESULT HResult(uint32_t value) {
    return static_cast<HRESULT>(static_cast<int32_t>(value));
}

constexpr HRESULT kHrOk = 0;
constexpr HRESULT kHrFalse = 1;                          // S_FALSE: no package
constexpr HRESULT kHrNoInterface = HResult(0x80004002);  // E_NOINTERFACE
constexpr HRESULT kHrPointer = HResult(0x80004003);      // E_POINTER
constexpr HRESULT kHrFail = HResult(0x80004005);         // E_FAIL
constexpr HRESULT kHrUnexpected = pxLib::kUnexpectedFailure;
constexpr HRESULT kHrBadFormat = HResult(0x8007000B);     // ERROR_BAD_FORMAT
constexpr HRESULT kHrOutOfMemory = HResult(0x8007000E);   // E_OUTOFMEMORY
constexpr HRESULT kHrWriteFault = HResult(0x8007001D);    // ERROR_WRITE_FAULT
constexpr HRESULT kHrHandleEof = HResult(0x80070026);     // ERROR_HANDLE_EOF
constexpr HRESULT kHrInvalidArg = HResult(0x80070057);    // E_INVALIDARG
constexpr HRESULT kHrBadExeFormat = HResult(0x800700C1);  // ERROR_BAD_EXE_FORMAT
constexpr HRESULT kHrNoData = HResult(0x800700E8);        // ERROR_NO_DATA
constexpr HRESULT kHrBadVersion = HResult(0x80070309);    // package version above 5
constexpr HRESULT kHrNotFound = HResult(0x80070490);      // ERROR_NOT_FOUND
constexpr HRESULT kHrInvalidState = HResult(0x8007139F);  // ERROR_INVALID_STATE

[[nodiscard]] constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}

}  // namespace ZOLT

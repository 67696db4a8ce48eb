// Whether a path exists, long paths included.
#pragma once

#include <windows.h>

#include <string>

namespace qvd::launch {

constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80047E0B);

// S_OK when it exists; E_INVALIDARG for an empty path; 0x80047E0B when it does
// not exist or its attributes cannot be read. Paths that begin with neither a
// backslash nor a second-character backslash get the "\\?\" prefix.
[[nodiscard]] HRESULT FileExists(const std::wstring& path);

}  // namespace qvd::launch

// Starting the installer through the shell, elevated ("runas") or not ("open").
#pragma once

#include "support/system/UniqueHandle.h"

#include <string>

namespace qvd::launch {

constexpr HRESULT kElevationDeclined = HRESULT_FROM_WIN32(ERROR_CANCELLED);

// On success process holds the installer's process (null when the shell gave
// none). ERROR_CANCELLED means the user declined elevation.
[[nodiscard]] HRESULT LaunchThroughShell(const std::wstring& file, const std::wstring& parameters,
                                         bool elevate, pxLib::UniqueHandle& process);

}  // namespace qvd::launch

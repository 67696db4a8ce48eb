// Whether User Account Control is on: the shell launch asks for elevation only then.
#pragma once

namespace qvd::launch {

// True only when HKLM\...\Policies\System "EnableLUA" is a REG_DWORD equal to 1.
[[nodiscard]] bool IsUacEnabled();

}  // namespace qvd::launch

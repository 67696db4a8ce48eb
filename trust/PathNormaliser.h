// The path normaliser: whatever path a caller gives (quoted, "\??\"-prefixed,
// an NT device path, with environment variables or short names) becomes the
// long Win32 path every later step of the verifier works on.
#pragma once

#include <string>

namespace pxLib {

// False when the path names a device that no drive letter maps to.
[[nodiscard]] bool NormalisePath(const std::u16string& input, std::u16string& output);

}  // namespace pxLib

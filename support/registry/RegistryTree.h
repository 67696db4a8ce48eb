// Deletion of a registry key with everything beneath it, in one registry view.
#pragma once

#include <windows.h>

namespace pxLib {

// Deletes parent\name with all its subkeys and values; view is KEY_WOW64_64KEY,
// KEY_WOW64_32KEY or 0. Returns the Win32 result of the first step that failed.
LONG DeleteKeyTreeInView(HKEY parent, const wchar_t* name, REGSAM view);

}  // namespace pxLib

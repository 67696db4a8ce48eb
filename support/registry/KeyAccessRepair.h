// The access repair behind SecuredKey: when Windows refuses a key of the
// plug-in, the process user, Administrators and LocalSystem are given full
// control of it, and a parent that still refuses is reset to inherited entries.
//
// Only keys the plug-in owns are ever changed: those at or beneath
// "Software\Halvex" in HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER. The parents
// above that key are never touched; any other path is refused unchanged.
#pragma once

#include <windows.h>

#include <string>

namespace pxLib {

// Opens (with create, creates) root\path with access plus KEY_ALL_ACCESS; on
// ERROR_ACCESS_DENIED grants full control to the three and tries once more.
// S_OK when the key opens; otherwise the last error as an HRESULT.
[[nodiscard]] HRESULT RepairKeyAccess(HKEY root, const std::wstring& path, REGSAM access,
                                      bool create, DWORD options);

// Repairs each key along path from the plug-in's own key downward ("/" is
// taken for "\"). A key that still refuses access has its DACL reset to
// inherited entries (a key named "Wow6432Node" never is) and the full path is
// repaired once more. S_OK when every key opens.
[[nodiscard]] HRESULT RepairKeyPathAccess(HKEY root, const std::wstring& path, REGSAM access,
                                          bool create, DWORD options);

}  // namespace pxLib

// The shared process helpers: a process's image path, and whether a given
// executable runs from a given directory.
#pragma once

#include <windows.h>

#include <string>

#include "support/system/UniqueHandle.h"

namespace pxLib {

// The full Win32 path of a process's executable: QueryFullProcessImageNameW
// (looked up in kernel32 at the time of the call) on Windows 6.0 and later,
// GetModuleFileNameExW before; 400 characters at most.
[[nodiscard]] bool GetProcessImagePath(HANDLE process, std::wstring& path);

// The rights the process helpers open a process with: the limited query right
// from Windows 6.0 on, the full query and memory read before.
DWORD ProcessMatchAccess();

// Opens the process (inheritable) and keeps the handle only when its image
// lies in directory: the long forms of both directories, trailing
// backslashes aside, equal without regard to ASCII letter case. An empty
// directory keeps every process that opens.
UniqueHandle OpenProcessIfInDirectory(DWORD processId, const std::wstring& directory,
                                      DWORD access = ProcessMatchAccess());

// The first running process whose executable file name is fileName (ASCII
// case folded) and which OpenProcessIfInDirectory keeps; the scan runs with
// SeDebugPrivilege enabled where the token holds it.
UniqueHandle FindAndOpenProcess(const std::wstring& directory, const std::wstring& fileName,
                                DWORD access = ProcessMatchAccess());
[[nodiscard]] bool IsProcessRunning(const std::wstring& directory, const std::wstring& fileName);

}  // namespace pxLib

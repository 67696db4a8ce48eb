// The full Win32 path of a process's executable file.
#pragma once

#include <windows.h>

#include <string>

namespace pxLib {

// QueryFullProcessImageNameW (looked up in kernel32 at the time of the call)
// on Windows 6.0 and later, GetModuleFileNameExW before; 400 characters at most.
bool GetProcessImagePath(HANDLE process, std::wstring& path);

}  // namespace pxLib

// Process access masks, named by what they allow.
#pragma once

#include <windows.h>

namespace pxLib {

// Waiting for a process and reading its image path from Windows 6.0 on.
constexpr DWORD kWaitAndQueryLimitedAccess = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
// The same before 6.0, where the image path is read from the process's memory.
constexpr DWORD kWaitQueryAndReadAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
// Reading a process's image path on every version, without waiting for it.
constexpr DWORD kQueryAndReadAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

}  // namespace pxLib

// Finding the interactive user's shell process through WMI, and its token:
// the launcher's way to a user token when the terminal-services query fails.
#pragma once

#include <windows.h>
#include <wbemidl.h>

#include "support/system/ComPtr.h"
#include "support/system/UniqueHandle.h"

#include <string>

namespace qvd::launch {

constexpr DWORD kNoProcessId = 0xFFFFFFFF;

// The Winlogon "Shell" value with its environment variables expanded, or
// "explorer.exe" when it is missing or empty.
std::wstring ReadShellName();

// Every Win32_Process object of "\\.\ROOT\cimv2", forward only. COM must be
// initialised on the calling thread.
[[nodiscard]] HRESULT OpenProcessList(pxLib::ComPtr<IEnumWbemClassObject>& processes);

// Walks processes to the first whose "ExecutablePath" contains shellName
// (both lower-cased) and whose "SessionId" is sessionId; its "ProcessId" goes
// to processId. E_FAIL when none matched, or the failing call's HRESULT.
[[nodiscard]] HRESULT FindShellInProcessList(IEnumWbemClassObject* processes,
                                             const std::wstring& shellName, DWORD sessionId,
                                             DWORD& processId);

// The three above together.
[[nodiscard]] HRESULT FindShellProcessInSession(DWORD sessionId, DWORD& processId);

// The token of a process, opened for MAXIMUM_ALLOWED.
[[nodiscard]] bool OpenProcessTokenById(DWORD processId, pxLib::UniqueHandle& token);

// The token of the shell process in sessionId.
[[nodiscard]] bool OpenShellProcessToken(DWORD sessionId, pxLib::UniqueHandle& token);

}  // namespace qvd::launch

// The module's event-tracing provider: registered at module start-up,
// unregistered at shut-down (both called from the module entry).
#pragma once

#include "support/logging/Trace.h"

#include <windows.h>
#include <wmistr.h>

#include <string>

namespace pxLib {

// {D150D150-D150-D150-D150-D150D150D150}
constexpr GUID kTraceControlGuid = {
    0xD150D150, 0xD150, 0xD150, {0xD1, 0x50, 0xD1, 0x50, 0xD1, 0x50, 0xD1, 0x50}};

// Lists the module's control block and registers it; when no session enabled
// it during registration, picks up the boot-time global logger. True when the
// registration succeeded; start-up goes on either way.
[[nodiscard]] bool RegisterTraceProvider(HINSTANCE module);

// Stops tracing, unregisters every registered handle and empties the list.
void UnregisterTraceProviders();

namespace detail {

// The platform's enable callback; context is the control block.
ULONG WINAPI TraceControlCallback(WMIDPREQUESTCODE requestCode, PVOID context, ULONG* bufferSize,
                                  PVOID buffer);

// The boot-time global logger query against the GlobalLogger key at keyPath
// (under HKEY_LOCAL_MACHINE).
void QueryGlobalLogger(TraceControlBlock& block, const std::wstring& keyPath);

// 8-4-4-4-12 lower-case hexadecimal digits, no braces.
std::wstring FormatGuidLowerCase(const GUID& guid);

}  // namespace detail
}  // namespace pxLib

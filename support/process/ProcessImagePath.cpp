#include "support/process/ProcessImagePath.h"

#include "support/logging/Trace.h"
#include "support/system/Platform.h"

#include <psapi.h>

namespace pxLib {
namespace {
const TraceSource kTraceSource{
    {0x2d7c51e0, 0x9b34, 0x4c8f, {0xa6, 0x1d, 0x73, 0x0e, 0xc2, 0x58, 0x94, 0xb1}}};
enum TraceEvent : uint16_t { kNoQueryFunction = 1, kQueryFailed, kModuleFileNameFailed };

constexpr DWORD kPathCapacity = 400;
}  // namespace

bool GetProcessImagePath(HANDLE process, std::wstring& path) {
    wchar_t buffer[kPathCapacity] = {};
    if (Platform().Version().AtLeast(6, 0)) {
        using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
        const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
        if (!query) {
            Trace(kTraceSource, TraceLevel::Error, kNoQueryFunction, GetLastError());
            return false;
        }
        DWORD size = kPathCapacity;
        if (!query(process, 0, buffer, &size)) {
            Trace(kTraceSource, TraceLevel::Error, kQueryFailed, GetLastError());
            return false;
        }
        path.assign(buffer, size);
        return true;
    }
    const DWORD n = GetModuleFileNameExW(process, nullptr, buffer, kPathCapacity);
    if (n == 0) {
        Trace(kTraceSource, TraceLevel::Error, kModuleFileNameFailed, GetLastError());
        return false;
    }
    path.assign(buffer, n);
    return true;
}

}  // namespace pxLib

#include "support/process/ProcessHelpers.h"

#include <psapi.h>

#include "support/logging/Trace.h"
#include "support/system/Platform.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x2d7c51e0, 0x9b34, 0x4c8f, {0xa6, 0x1d, 0x73, 0x0e, 0xc2, 0x58, 0x94, 0xb1}}};
enum class TraceEvent : uint16_t {
    NoQueryFunction = 1,
    QueryFailed = 2,
    ModuleFileNameFailed = 3,
};

constexpr DWORD kPathCapacity = 400;

}  // namespace

bool GetProcessImagePath(HANDLE process, std::wstring& path) {
    wchar_t buffer[kPathCapacity] = {};
    if (Platform().Version().AtLeast(6, 0)) {
        using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
        const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
        if (!query) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoQueryFunction, GetLastError());
            return false;
        }
        DWORD size = kPathCapacity;
        if (!query(process, 0, buffer, &size)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::QueryFailed, GetLastError());
            return false;
        }
        path.assign(buffer, size);
        return true;
    }
    const DWORD length = GetModuleFileNameExW(process, nullptr, buffer, kPathCapacity);
    // A full buffer may hold a cut path, whose directory would be another one.
    if (length == 0 || length >= kPathCapacity - 1) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ModuleFileNameFailed,
              length == 0 ? GetLastError() : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        return false;
    }
    path.assign(buffer, length);
    return true;
}

}  // namespace pxLib

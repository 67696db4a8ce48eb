#include "launch/ShellLaunch.h"

#include "support/errors/LastError.h"
#include "support/logging/Trace.h"
#include "support/system/Platform.h"

#include <shellapi.h>

namespace qvd::launch {
namespace {
const pxLib::TraceSource kTraceSource{
    {0x0e6b93c4, 0x4d1f, 0x4a7a, {0xb5, 0x2e, 0x61, 0x09, 0xfa, 0x8c, 0x33, 0x7d}}};
enum class TraceEvent : uint16_t { ShellExecuteFailed = 1, DuplicateFailed };

// No-close-process, no-async, no error UI, no console.
constexpr ULONG kShellMask =
    SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE;
static_assert(kShellMask == 0x8540);
}  // namespace

HRESULT LaunchThroughShell(const std::wstring& file, const std::wstring& parameters, bool elevate,
                           pxLib::UniqueHandle& process) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = kShellMask;
    info.hwnd = nullptr;
    info.lpVerb = elevate ? L"runas" : L"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    if (!pxLib::Platform().ExecuteWithShell(&info)) {
        const DWORD error = GetLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::ShellExecuteFailed, file,
                     error);
        return pxLib::HResultFromError(error);
    }
    pxLib::UniqueHandle shellProcess(info.hProcess);
    process.reset();
    if (shellProcess &&
        !DuplicateHandle(GetCurrentProcess(), shellProcess.get(), GetCurrentProcess(),
                         process.put(), 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::DuplicateFailed,
                     GetLastError());
        process.reset();
    }
    return S_OK;
}

}  // namespace qvd::launch

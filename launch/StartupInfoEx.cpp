#include "launch/StartupInfoEx.h"

#include "support/errors/LastError.h"
#include "support/logging/Trace.h"
#include "support/system/Platform.h"

namespace qvd::launch {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x7a3e0c59, 0x1f82, 0x4d06, {0xb9, 0x44, 0x2e, 0xd1, 0x6f, 0x03, 0x8a, 0x5c}}};
enum class TraceEvent : uint16_t {
    FunctionMissing = 1,
    SizeQueryFailed,
    InitialiseFailed,
    UpdateFailed,
    DeleteMissing,
};

using InitializeFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
using UpdateFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID,
                               PSIZE_T);
using DeleteFn = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);

template <class Fn>
Fn Kernel32Function(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

bool SystemTakesMitigationPolicy(const pxLib::OsVersion& v) {
    if (v.workstation) return v.AtLeast(6, 1);
    if (!v.AtLeast(6, 0)) return false;
    if (v.AtLeast(6, 2)) return true;
    return v.major == 6 && v.minor == 1;
}

}  // namespace

HRESULT SetUpStartupInfoEx(StartupInfoEx& startup) {
    startup.info = STARTUPINFOEXW{};
    startup.info.StartupInfo.cb = sizeof(STARTUPINFOEXW);
    startup.inUse = false;
    startup.initialised = false;

    const pxLib::OsVersion version = pxLib::Platform().Version();
    if (!SystemTakesMitigationPolicy(version)) return S_OK;

    const auto initialize = Kernel32Function<InitializeFn>("InitializeProcThreadAttributeList");
    const auto update = Kernel32Function<UpdateFn>("UpdateProcThreadAttribute");
    const auto remove = Kernel32Function<DeleteFn>("DeleteProcThreadAttributeList");
    if (!initialize || !update || !remove) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::FunctionMissing, hr);
        return hr;
    }

    SIZE_T size = 0;
    if (!initialize(nullptr, 1, 0, &size)) {
        const HRESULT hr = pxLib::HResultFromLastError();
        if (hr != HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)) {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::SizeQueryFailed, hr);
            return hr;
        }
    }
    try {
        startup.attributeList.assign(size, 0);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(startup.attributeList.data());
    startup.info.lpAttributeList = list;
    if (!initialize(list, 1, 0, &size)) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::InitialiseFailed, hr);
        return hr;
    }
    startup.initialised = true;

    startup.mitigationPolicy = kMitigationDep;
    startup.mitigationPolicySize = sizeof(uint64_t);
    if (version.AtLeast(6, 2)) {
        startup.mitigationPolicy |= kMitigationWindows8Extra;
    } else {
        startup.mitigationPolicySize = sizeof(uint32_t);
    }
    if (!update(list, 0, PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY, &startup.mitigationPolicy,
                startup.mitigationPolicySize, nullptr, nullptr)) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::UpdateFailed, hr);
        return hr;
    }
    startup.inUse = true;
    return S_OK;
}

StartupInfoEx::~StartupInfoEx() {
    ReleaseStartupInfoEx(*this);
}

void ReleaseStartupInfoEx(StartupInfoEx& startup) {
    if (startup.initialised) {
        const auto remove = Kernel32Function<DeleteFn>("DeleteProcThreadAttributeList");
        if (remove) {
            remove(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(startup.attributeList.data()));
        } else {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::DeleteMissing,
                         pxLib::HResultFromLastError());
        }
        startup.initialised = false;
    }
    startup.attributeList.clear();
    startup.attributeList.shrink_to_fit();
    startup.info.lpAttributeList = nullptr;
    startup.inUse = false;
}

}  // namespace qvd::launch

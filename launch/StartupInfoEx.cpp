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
};

using InitializeFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
using UpdateFn = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID,
                               PSIZE_T);

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

HRESULT StartupInfoEx::SetUp() {
    reset();
    m_info.StartupInfo.cb = sizeof(STARTUPINFOEXW);

    const pxLib::OsVersion version = pxLib::Platform().Version();
    if (!SystemTakesMitigationPolicy(version)) return S_OK;

    const auto initialize = Kernel32Function<InitializeFn>("InitializeProcThreadAttributeList");
    const auto update = Kernel32Function<UpdateFn>("UpdateProcThreadAttribute");
    const auto remove =
        Kernel32Function<pxLib::AttributeList::DeleteFn>("DeleteProcThreadAttributeList");
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
    if (!m_list.Allocate(size)) return E_OUTOFMEMORY;
    m_info.lpAttributeList = m_list.get();
    if (!initialize(m_list.get(), 1, 0, &size)) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::InitialiseFailed, hr);
        return hr;
    }
    m_list.Initialised(remove);

    m_mitigationPolicy = kMitigationDep;
    m_mitigationPolicySize = sizeof(uint64_t);
    if (version.AtLeast(6, 2)) {
        m_mitigationPolicy |= kMitigationWindows8Extra;
    } else {
        m_mitigationPolicySize = sizeof(uint32_t);
    }
    if (!update(m_list.get(), 0, PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY, &m_mitigationPolicy,
                m_mitigationPolicySize, nullptr, nullptr)) {
        const HRESULT hr = pxLib::HResultFromLastError();
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::UpdateFailed, hr);
        return hr;
    }
    m_inUse = true;
    return S_OK;
}

void StartupInfoEx::reset() {
    m_list.reset();
    m_info = STARTUPINFOEXW{};
    m_inUse = false;
}

}  // namespace qvd::launch

#include "launch/ShellProcess.h"

#include "support/logging/Trace.h"
#include "support/registry/RegistryKey.h"

#include <new>

namespace qvd::launch {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x3f6a2d18, 0x94c7, 0x4e2b, {0xa1, 0x5d, 0x0c, 0x87, 0x63, 0xe9, 0x4b, 0x2f}}};
enum class TraceEvent : uint16_t {
    LocatorFailed = 1,
    ConnectFailed,
    EnumerationFailed,
    NextFailed,
    PathCompared,
    SessionCompared,
    ProcessFound,
    SearchingShell,
    OpenProcessFailed,
    OpenTokenFailed,
    NameCopyFailed,
};

const wchar_t kWinlogonKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kDefaultShell[] = L"explorer.exe";
const wchar_t kWmiNamespace[] = L"\\\\.\\ROOT\\cimv2";
const wchar_t kProcessClass[] = L"Win32_Process";
// WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY
constexpr LONG kEnumerationFlags = 0x30;
static_assert(kEnumerationFlags == (WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY));

std::wstring ExpandEnvironment(const std::wstring& text) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) return text;
    expanded.resize(written - 1);
    return expanded;
}

void LowerInPlace(std::wstring& text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
}

// A property read as a 32-bit number: S_OK only when it was there and is one.
HRESULT ReadNumber(IWbemClassObject* object, const wchar_t* name, DWORD& value) {
    pxLib::UniqueVariant property;
    const HRESULT hr = object->Get(name, 0, property.put(), nullptr, nullptr);
    if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
    pxLib::UniqueVariant number;
    if (FAILED(VariantChangeType(number.put(), const_cast<VARIANT*>(&property.get()), 0, VT_UI4)))
        return E_FAIL;
    value = number.get().ulVal;
    return S_OK;
}

}  // namespace

std::wstring ReadShellName() {
    std::wstring shell;
    pxLib::RegistryKey winlogon;
    if (winlogon.Open(HKEY_LOCAL_MACHINE, kWinlogonKey, KEY_READ) &&
        winlogon.QueryString(L"Shell", shell))
        shell = ExpandEnvironment(shell);
    if (shell.empty()) shell = kDefaultShell;
    return shell;
}

HRESULT OpenProcessList(pxLib::ComPtr<IEnumWbemClassObject>& processes) {
    pxLib::ComPtr<IWbemLocator> locator;
    HRESULT hr =
        CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                         IID_IWbemLocator, locator.put_void());
    if (FAILED(hr)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::LocatorFailed, hr);
        return hr;
    }
    const pxLib::UniqueBstr wmiNamespace(kWmiNamespace);
    const pxLib::UniqueBstr processClass(kProcessClass);
    if (!wmiNamespace || !processClass) return E_OUTOFMEMORY;
    pxLib::ComPtr<IWbemServices> services;
    hr = locator->ConnectServer(wmiNamespace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                services.put());
    if (FAILED(hr)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::ConnectFailed, hr);
        return hr;
    }
    hr = services->CreateInstanceEnum(processClass.get(), kEnumerationFlags, nullptr,
                                      processes.put());
    if (FAILED(hr)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::EnumerationFailed, hr);
        return hr;
    }
    return S_OK;
}

HRESULT FindShellInProcessList(IEnumWbemClassObject* processes, const std::wstring& shellName,
                               DWORD sessionId, DWORD& processId) {
    processId = kNoProcessId;
    std::wstring shell = shellName;
    LowerInPlace(shell);
    pxLib::ComPtr<IWbemClassObject> found;
    for (;;) {
        pxLib::ComPtr<IWbemClassObject> process;
        ULONG returned = 0;
        const HRESULT next = processes->Next(WBEM_INFINITE, 1, process.put(), &returned);
        if (FAILED(next)) {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::NextFailed, next);
            return next;
        }
        if (returned == 0 || !process) break;

        pxLib::UniqueVariant path;
        if (process->Get(L"ExecutablePath", 0, path.put(), nullptr, nullptr) != S_OK) break;
        if (path.get().vt != VT_BSTR || path.get().bstrVal == nullptr) continue;
        std::wstring lowered;
        try {
            lowered.assign(path.get().bstrVal, SysStringLen(path.get().bstrVal));
        } catch (const std::bad_alloc&) {
            pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::NameCopyFailed);
            return E_OUTOFMEMORY;
        }
        LowerInPlace(lowered);
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::PathCompared,
                     lowered, shell);
        if (lowered.find(shell) == std::wstring::npos) continue;

        DWORD processSession = 0;
        if (ReadNumber(process.get(), L"SessionId", processSession) != S_OK) break;
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::SessionCompared,
                     processSession, sessionId);
        if (processSession == sessionId) {
            found = process;
            break;
        }
    }
    if (found && ReadNumber(found.get(), L"ProcessId", processId) == S_OK)
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::ProcessFound,
                     processId);
    return processId != kNoProcessId ? S_OK : E_FAIL;
}

HRESULT FindShellProcessInSession(DWORD sessionId, DWORD& processId) {
    processId = kNoProcessId;
    const std::wstring shell = ReadShellName();
    pxLib::ComPtr<IEnumWbemClassObject> processes;
    const HRESULT hr = OpenProcessList(processes);
    if (FAILED(hr)) return hr;
    return FindShellInProcessList(processes.get(), shell, sessionId, processId);
}

bool OpenProcessTokenById(DWORD processId, pxLib::UniqueHandle& token) {
    const pxLib::UniqueHandle process(OpenProcess(MAXIMUM_ALLOWED, FALSE, processId));
    if (!process) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::OpenProcessFailed,
                     processId, GetLastError());
        return false;
    }
    if (!OpenProcessToken(process.get(), MAXIMUM_ALLOWED, token.put())) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::OpenTokenFailed, processId,
                     GetLastError());
        return false;
    }
    return true;
}

bool OpenShellProcessToken(DWORD sessionId, pxLib::UniqueHandle& token) {
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Information, TraceEvent::SearchingShell,
                 sessionId);
    DWORD processId = kNoProcessId;
    if (FAILED(FindShellProcessInSession(sessionId, processId))) return false;
    return OpenProcessTokenById(processId, token);
}

}  // namespace qvd::launch

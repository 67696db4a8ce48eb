#include "trust/VerifySubjects.h"

#include "support/logging/Trace.h"
#include "support/process/ProcessHelpers.h"
#include "support/registry/RegistryKey.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

#include <tlhelp32.h>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xE4B16A39, 0x72C8, 0x4D05, {0x97, 0x3B, 0x28, 0xF6, 0x0A, 0x5E, 0xC1, 0x64}}};
enum class TraceEvent : uint16_t {
    ProcessNotOpened = 1,
    SnapshotFailed,
    NoParent,
    NoModule,
    NoClassServer,
};

constexpr DWORD kModulePathCapacity = 260;
constexpr size_t kServerPathCapacity = 520 / sizeof(wchar_t);

bool ReadServer(const std::wstring& keyPath, std::wstring& path) {
    RegistryKey key;
    if (!key.Open(HKEY_CLASSES_ROOT, keyPath.c_str(), KEY_READ)) return false;
    std::wstring value;
    // The value is read into 520 bytes: a longer one does not fit.
    if (!key.QueryString(nullptr, value) || value.empty() || value.size() >= kServerPathCapacity)
        return false;
    path = value;
    return true;
}

}  // namespace

bool ProcessImageFile(DWORD processId, std::wstring& path) {
    if (processId == GetCurrentProcessId()) {
        wchar_t buffer[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return false;
        path.assign(buffer, n);
        return true;
    }
    UniqueHandle process(OpenProcess(ProcessMatchAccess(), FALSE, processId));
    if (!process) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ProcessNotOpened, processId,
              GetLastError());
        return false;
    }
    return GetProcessImagePath(process.get(), path);
}

bool ParentProcessId(DWORD& parentId) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SnapshotFailed, GetLastError());
        return false;
    }
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self) {
            parentId = entry.th32ParentProcessID;
            return true;
        }
    }
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoParent, self);
    return false;
}

bool ModuleFileAt(const void* address, std::wstring& path) {
    MEMORY_BASIC_INFORMATION memory{};
    if (VirtualQuery(address, &memory, sizeof(memory)) == 0 || memory.AllocationBase == nullptr) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoModule, GetLastError());
        return false;
    }
    wchar_t buffer[kModulePathCapacity];
    const DWORD n = GetModuleFileNameW(static_cast<HMODULE>(memory.AllocationBase), buffer,
                                       kModulePathCapacity);
    if (n == 0 || n >= kModulePathCapacity) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoModule, GetLastError());
        return false;
    }
    path.assign(buffer, n);
    return true;
}

bool ClassServerFile(const Guid& classId, std::wstring& path) {
    const std::wstring key = L"CLSID\\" + ToWide(GuidToText(classId));
    if (ReadServer(key + L"\\InprocServer32", path) || ReadServer(key + L"\\LocalServer32", path))
        return true;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoClassServer, GuidToText(classId));
    return false;
}

}  // namespace pxLib

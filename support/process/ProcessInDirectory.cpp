// Matching a process to the directory its executable lies in.
#include "support/process/ProcessHelpers.h"

#include <tlhelp32.h>

#include "support/logging/Trace.h"
#include "support/process/PathSplitter.h"
#include "support/process/ProcessAccess.h"
#include "support/security/PrivilegeScope.h"
#include "support/system/Platform.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x49855174, 0xb1a7, 0x447b, {0xb9, 0xed, 0x48, 0x64, 0x75, 0x77, 0x3f, 0xd8}}};
enum class TraceEvent : uint16_t {
    OpenFailed = 1,
    NoSnapshot = 2,
};

bool SameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    return EqualsIgnoreAsciiCase(ToU16(a), ToU16(b));
}

}  // namespace

DWORD ProcessMatchAccess() {
    return Platform().Version().AtLeast(6, 0) ? kWaitAndQueryLimitedAccess
                                              : kWaitQueryAndReadAccess;
}

UniqueHandle OpenProcessIfInDirectory(DWORD processId, const std::wstring& directory,
                                      DWORD access) {
    UniqueHandle process(OpenProcess(access, TRUE, processId));
    if (!process) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::OpenFailed, processId, GetLastError());
        return {};
    }
    if (directory.empty()) return process;
    std::wstring image;
    if (!GetProcessImagePath(process.get(), image)) return {};
    if (!SameIgnoringAsciiCase(SplitPath(image).directory, NormalisedDirectory(directory)))
        return {};
    return process;
}

UniqueHandle FindAndOpenProcess(const std::wstring& directory, const std::wstring& fileName,
                                DWORD access) {
    // The scope traces its own failure; without the privilege the scan still
    // sees the processes this user may open.
    const PrivilegeScope debugPrivilege(SE_DEBUG_NAME);
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSnapshot, GetLastError());
        return {};
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (!SameIgnoringAsciiCase(entry.szExeFile, fileName)) continue;
        UniqueHandle process = OpenProcessIfInDirectory(entry.th32ProcessID, directory, access);
        if (process) return process;
    }
    return {};
}

bool IsProcessRunning(const std::wstring& directory, const std::wstring& fileName) {
    return static_cast<bool>(FindAndOpenProcess(directory, fileName));
}

}  // namespace pxLib

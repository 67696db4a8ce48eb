#include "support/paths/BuiltInFolderPaths.h"

#include <windows.h>
#include <shlobj.h>

#include "support/logging/Trace.h"
#include "support/paths/BuiltInFolders.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x818bb69f, 0x271f, 0x463f, {0x81, 0x24, 0x9e, 0xed, 0x8b, 0x1f, 0x47, 0xe4}}};
enum class TraceEvent : uint16_t {
    CurrentVersionValueUnreadable = 1,
    FolderPathFailed = 2,
};

const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// The 64-bit program folders are read from the 64-bit view whatever the
// process is: the shell would answer a 32-bit process with the x86 folders.
bool ReadCurrentVersionFolder(const wchar_t* valueName, std::u16string& path) {
    RegistryKey key;
    std::wstring text;
    if (!key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_READ | KEY_WOW64_64KEY) ||
        !key.QueryString(valueName, text)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::CurrentVersionValueUnreadable, valueName,
              key.LastError());
        return false;
    }
    path = ToU16(text);
    return true;
}

// The default location, not one the user has redirected.
bool ShellFolder(int csidl, std::u16string& path) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const HRESULT hr = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_DEFAULT, buffer);
    if (FAILED(hr) || buffer[0] == L'\0') {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::FolderPathFailed,
              static_cast<uint32_t>(csidl), hr);
        return false;
    }
    path = ToU16(buffer);
    return true;
}

}  // namespace

bool ResolveBuiltInFolder(const std::u16string& name, std::u16string& path) {
    const BuiltInFolder* row = FindBuiltInFolder(name);
    if (row == nullptr) return false;
    switch (row->id) {
        case kCommonSiloDataFolder:
            return SiloDataFolder(CSIDL_COMMON_APPDATA, path);
        case kLocalSiloDataFolder:
            return SiloDataFolder(CSIDL_LOCAL_APPDATA, path);
        case kProgramFilesX64Folder:
            return ReadCurrentVersionFolder(L"ProgramFilesDir", path);
        case kProgramFilesCommonX64Folder:
            return ReadCurrentVersionFolder(L"CommonFilesDir", path);
        default:
            return ShellFolder(static_cast<int>(row->id), path);
    }
}

}  // namespace pxLib

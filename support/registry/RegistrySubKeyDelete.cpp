// Deleting subkeys of an open key, in the registry view it was opened in.
#include "support/registry/RegistryKey.h"

#include <shlwapi.h>

#include "support/logging/Trace.h"
#include "support/registry/RegistryTree.h"
#include "support/system/Platform.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xaf0ff954, 0x0af2, 0x4dd6, {0x98, 0x5d, 0x15, 0x20, 0x3b, 0x3a, 0x91, 0xf8}}};
enum class TraceEvent : uint16_t {
    DeleteSubKeyFailed = 1,
    DeleteEmptySubKeyFailed = 2,
};

// Windows XP (5.1) has no view-aware deletion; there the shell's helpers serve.
bool IsWindowsXp() {
    const OsVersion version = Platform().Version();
    return version.major == 5 && version.minor == 1;
}

}  // namespace

bool RegistryKey::DeleteSubKey(const wchar_t* name) {
    if (!RequireOpen()) return false;
    if (name == nullptr) name = L"";
    m_lastError = IsWindowsXp() ? static_cast<LONG>(SHDeleteKeyW(m_key.get(), name))
                                : DeleteKeyTreeInView(m_key.get(), name, m_view);
    if (m_lastError != ERROR_SUCCESS)
        Trace(kTraceSource,
              m_lastError == ERROR_FILE_NOT_FOUND ? TraceLevel::Verbose : TraceLevel::Error,
              TraceEvent::DeleteSubKeyFailed, name, m_lastError);
    return m_lastError == ERROR_SUCCESS;
}

bool RegistryKey::DeleteEmptySubKey(const wchar_t* name) {
    if (!RequireOpen()) return false;
    if (name == nullptr) name = L"";
    if (IsWindowsXp()) {
        m_lastError = static_cast<LONG>(SHDeleteEmptyKeyW(m_key.get(), name));
    } else {
        UniqueRegKey subkey;
        m_lastError = RegOpenKeyExW(m_key.get(), name, 0, KEY_QUERY_VALUE | m_view, subkey.put());
        if (m_lastError == ERROR_SUCCESS) {
            DWORD subkeys = 0;
            DWORD values = 0;
            m_lastError =
                RegQueryInfoKeyW(subkey.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                 nullptr, &values, nullptr, nullptr, nullptr, nullptr);
            subkey.reset();
            if (m_lastError == ERROR_SUCCESS && (subkeys != 0 || values != 0))
                m_lastError = ERROR_KEY_HAS_CHILDREN;
            if (m_lastError == ERROR_SUCCESS)
                m_lastError = RegDeleteKeyExW(m_key.get(), name, m_view, 0);
        }
    }
    if (m_lastError != ERROR_SUCCESS)
        Trace(kTraceSource,
              m_lastError == ERROR_FILE_NOT_FOUND ? TraceLevel::Verbose : TraceLevel::Error,
              TraceEvent::DeleteEmptySubKeyFailed, name, m_lastError);
    return m_lastError == ERROR_SUCCESS;
}

}  // namespace pxLib

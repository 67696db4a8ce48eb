// Opening, creating and closing: the key's lifetime and its registry view.
#include "support/registry/RegistryKey.h"

#include "support/logging/Trace.h"
#include "support/registry/RegistryTree.h"
#include "support/system/Platform.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xf4a7353f, 0x7e33, 0x46e9, {0x8d, 0x04, 0xf0, 0xba, 0x2f, 0x13, 0x61, 0x6b}}};

constexpr REGSAM kViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
// A non-volatile key cannot be created beneath a volatile one: creating this
// one tells which kind of key already stands at the name.
const wchar_t kVolatileProbe[] = L"__volatile_test";

}  // namespace

void RegistryKey::RememberView(REGSAM access) {
    m_samView = access & kViewBits;
    if (m_samView == kViewBits) Trace(kTraceSource, TraceLevel::Error, 1, m_samView);
}

bool RegistryKey::Open(HKEY root, const wchar_t* subkey, REGSAM access, bool createIfMissing,
                       DWORD options) {
    Close();
    RememberView(access);
    HKEY key = nullptr;
    m_lLastError = RegOpenKeyExW(root, subkey, 0, access, &key);
    if (m_lLastError == ERROR_SUCCESS) {
        m_hKey.reset(key);
        return true;
    }
    // Create traces its own failure, with the subkey and the error.
    if (createIfMissing) return Create(root, subkey, access, options) && IsOpen();
    Trace(kTraceSource,
          m_lLastError == ERROR_FILE_NOT_FOUND ? TraceLevel::Verbose : TraceLevel::Error, 2, subkey,
          m_lLastError);
    return false;
}

bool RegistryKey::Create(HKEY root, const wchar_t* subkey, REGSAM access, DWORD options) {
    if (subkey == nullptr) {
        m_lLastError = ERROR_INVALID_PARAMETER;
        Trace(kTraceSource, TraceLevel::Error, 3, m_lLastError);
        return false;
    }
    Close();
    RememberView(access);
    if ((options & REG_OPTION_VOLATILE) == 0 || !Platform().Version().AtLeast(6, 0))
        return CreateKey(root, subkey, access, options);
    return CreateVolatileKey(root, subkey, access, options);
}

bool RegistryKey::CreateKey(HKEY root, const wchar_t* subkey, REGSAM access, DWORD options) {
    HKEY key = nullptr;
    m_lLastError =
        RegCreateKeyExW(root, subkey, 0, nullptr, options, access, nullptr, &key, nullptr);
    if (m_lLastError != ERROR_SUCCESS) {
        Trace(kTraceSource, TraceLevel::Error, 4, subkey, m_lLastError);
        return false;
    }
    m_hKey.reset(key);
    return true;
}

// RegCreateKeyExW ignores REG_OPTION_VOLATILE for a key that already exists,
// so a non-volatile key of that name is replaced by a volatile one.
bool RegistryKey::CreateVolatileKey(HKEY root, const wchar_t* subkey, REGSAM access,
                                    DWORD options) {
    HKEY existing = nullptr;
    LONG rc = RegOpenKeyExW(root, subkey, 0, access | KEY_CREATE_SUB_KEY, &existing);
    if (rc == ERROR_FILE_NOT_FOUND) return CreateKey(root, subkey, access, options);
    if (rc != ERROR_SUCCESS) {
        // Without a probe the key's kind is unknown; handing out a possibly
        // non-volatile key would break the promise of this call.
        m_lLastError = rc;
        Trace(kTraceSource, TraceLevel::Error, 5, subkey, rc);
        return false;
    }
    UniqueRegKey parent(existing);
    HKEY probe = nullptr;
    rc = RegCreateKeyExW(parent.get(), kVolatileProbe, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_READ, nullptr, &probe, nullptr);
    UniqueRegKey probeKey(rc == ERROR_SUCCESS ? probe : nullptr);
    parent.reset();
    if (rc == ERROR_CHILD_MUST_BE_VOLATILE) return CreateKey(root, subkey, access, options);
    if (rc != ERROR_SUCCESS) {
        m_lLastError = rc;
        Trace(kTraceSource, TraceLevel::Warning, 6, subkey, rc);
        return false;
    }
    probeKey.reset();
    Trace(kTraceSource, TraceLevel::Warning, 7, subkey);
    rc = DeleteKeyTreeInView(root, subkey, m_samView);
    if (rc != ERROR_SUCCESS) {
        m_lLastError = rc;
        Trace(kTraceSource, TraceLevel::Error, 8, subkey, rc);
        return false;
    }
    return CreateKey(root, subkey, access, options);
}

bool RegistryKey::Close() {
    m_samView = 0;
    // Closed here rather than by the owner, so that the result can be kept.
    const HKEY key = m_hKey.release();
    m_lLastError = key ? RegCloseKey(key) : ERROR_SUCCESS;
    if (m_lLastError != ERROR_SUCCESS) Trace(kTraceSource, TraceLevel::Error, 9, m_lLastError);
    return m_lLastError == ERROR_SUCCESS;
}

bool RegistryKey::RequireOpen() {
    if (m_hKey) return true;
    m_lLastError = ERROR_INVALID_HANDLE;
    Trace(kTraceSource, TraceLevel::Error, 10, m_lLastError);
    return false;
}

}  // namespace pxLib

// Opening, creating and closing: the key's lifetime and its registry view.
#include "support/registry/RegistryKey.h"

#include "support/logging/Trace.h"
#include "support/registry/RegistryTree.h"
#include "support/system/Platform.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xf4a7353f, 0x7e33, 0x46e9, {0x8d, 0x04, 0xf0, 0xba, 0x2f, 0x13, 0x61, 0x6b}}};
enum class TraceEvent : uint16_t {
    BothViews = 1,
    OpenFailed = 2,
    NoSubkey = 3,
    CreateFailed = 4,
    VolatileOpenFailed = 5,
    ProbeFailed = 6,
    ReplacingNonVolatile = 7,
    ReplaceDeleteFailed = 8,
    CloseFailed = 9,
    NotOpen = 10,
};

constexpr REGSAM kViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
// A non-volatile key cannot be created beneath a volatile one: creating this
// one tells which kind of key already stands at the name.
const wchar_t kVolatileProbe[] = L"__volatile_test";

}  // namespace

void RegistryKey::RememberView(REGSAM access) {
    m_view = access & kViewBits;
    if (m_view == kViewBits) Trace(kTraceSource, TraceLevel::Error, TraceEvent::BothViews, m_view);
}

bool RegistryKey::Open(HKEY root, const wchar_t* subkey, REGSAM access, bool createIfMissing,
                       DWORD options) {
    Close();
    RememberView(access);
    m_lastError = RegOpenKeyExW(root, subkey, 0, access, m_key.put());
    if (m_lastError == ERROR_SUCCESS) return true;
    // Create traces its own failure, with the subkey and the error.
    if (createIfMissing) return Create(root, subkey, access, options) && IsOpen();
    Trace(kTraceSource,
          m_lastError == ERROR_FILE_NOT_FOUND ? TraceLevel::Verbose : TraceLevel::Error,
          TraceEvent::OpenFailed, subkey, m_lastError);
    return false;
}

bool RegistryKey::Create(HKEY root, const wchar_t* subkey, REGSAM access, DWORD options) {
    if (subkey == nullptr) {
        m_lastError = ERROR_INVALID_PARAMETER;
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSubkey, m_lastError);
        return false;
    }
    Close();
    RememberView(access);
    if ((options & REG_OPTION_VOLATILE) == 0 || !Platform().Version().AtLeast(6, 0))
        return CreateKey(root, subkey, access, options);
    return CreateVolatileKey(root, subkey, access, options);
}

bool RegistryKey::CreateKey(HKEY root, const wchar_t* subkey, REGSAM access, DWORD options) {
    m_lastError =
        RegCreateKeyExW(root, subkey, 0, nullptr, options, access, nullptr, m_key.put(), nullptr);
    if (m_lastError == ERROR_SUCCESS) return true;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::CreateFailed, subkey, m_lastError);
    return false;
}

// RegCreateKeyExW ignores REG_OPTION_VOLATILE for a key that already exists,
// so a non-volatile key of that name is replaced by a volatile one.
bool RegistryKey::CreateVolatileKey(HKEY root, const wchar_t* subkey, REGSAM access,
                                    DWORD options) {
    UniqueRegKey parent;
    LONG rc = RegOpenKeyExW(root, subkey, 0, access | KEY_CREATE_SUB_KEY, parent.put());
    if (rc == ERROR_FILE_NOT_FOUND) return CreateKey(root, subkey, access, options);
    if (rc != ERROR_SUCCESS) {
        // Without a probe the key's kind is unknown; handing out a possibly
        // non-volatile key would break the promise of this call.
        m_lastError = rc;
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::VolatileOpenFailed, subkey, rc);
        return false;
    }
    UniqueRegKey probeKey;
    rc = RegCreateKeyExW(parent.get(), kVolatileProbe, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_READ, nullptr, probeKey.put(), nullptr);
    parent.reset();
    if (rc == ERROR_CHILD_MUST_BE_VOLATILE) return CreateKey(root, subkey, access, options);
    if (rc != ERROR_SUCCESS) {
        m_lastError = rc;
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::ProbeFailed, subkey, rc);
        return false;
    }
    probeKey.reset();
    Trace(kTraceSource, TraceLevel::Warning, TraceEvent::ReplacingNonVolatile, subkey);
    rc = DeleteKeyTreeInView(root, subkey, m_view);
    if (rc != ERROR_SUCCESS) {
        m_lastError = rc;
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ReplaceDeleteFailed, subkey, rc);
        return false;
    }
    return CreateKey(root, subkey, access, options);
}

bool RegistryKey::Close() {
    m_view = 0;
    // Closed here rather than by the owner, so that the result can be kept.
    const HKEY key = m_key.release();
    m_lastError = key ? RegCloseKey(key) : ERROR_SUCCESS;
    if (m_lastError != ERROR_SUCCESS)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::CloseFailed, m_lastError);
    return m_lastError == ERROR_SUCCESS;
}

bool RegistryKey::RequireOpen() {
    if (m_key) return true;
    m_lastError = ERROR_INVALID_HANDLE;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotOpen, m_lastError);
    return false;
}

}  // namespace pxLib

#include "support/registry/SecuredKey.h"

#include "support/logging/Trace.h"
#include "support/registry/KeyAccessRepair.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x16441b72, 0xcd22, 0x4cbd, {0x85, 0x46, 0xdc, 0xe1, 0xe1, 0xb3, 0x7d, 0xb0}}};
enum class TraceEvent : uint16_t {
    OpenRepairing = 1,
    CreateMissingKey = 2,
    UserKeyRepairing = 3,
    TreeNotDeleted = 4,
    TreeTooDeep = 5,
};

constexpr REGSAM kUserKeyAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;
// The registry nests keys at most this deep.
constexpr int kMaxKeyDepth = 512;
// Key names have at most 255 characters.
constexpr DWORD kMaxKeyNameChars = 256;

}  // namespace

void SecuredKey::Remember(HKEY root, const std::wstring& path, REGSAM access) {
    m_root = root;
    m_path = path;
    m_access = access;
}

bool SecuredKey::OpenSecured(HKEY root, const std::wstring& path, REGSAM access) {
    Remember(root, path, access);
    if (Open(root, path.c_str(), access)) return true;
    if (LastError() == ERROR_FILE_NOT_FOUND) return false;
    Trace(kTraceSource, TraceLevel::Warning, TraceEvent::OpenRepairing, path, LastError());
    // Whether the repair worked shows in the open that follows.
    static_cast<void>(RepairKeyPathAccess(root, path, access, false, 0));
    return Open(root, path.c_str(), access);
}

bool SecuredKey::OpenOrCreateSecured(HKEY root, const std::wstring& path, REGSAM access,
                                     bool create, DWORD options) {
    Remember(root, path, access);
    if (Open(root, path.c_str(), access, create, options)) return true;
    if (!create && LastError() == ERROR_FILE_NOT_FOUND) {
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::CreateMissingKey, path);
        return false;
    }
    Trace(kTraceSource, TraceLevel::Warning, TraceEvent::OpenRepairing, path, LastError());
    static_cast<void>(RepairKeyPathAccess(root, path, access, create, options));
    return Open(root, path.c_str(), access, create, options);
}

bool SecuredKey::CreateUserKey(const std::wstring& path) {
    Remember(HKEY_CURRENT_USER, path, kUserKeyAccess);
    if (Create(HKEY_CURRENT_USER, path.c_str(), kUserKeyAccess, 0)) return true;
    Trace(kTraceSource, TraceLevel::Warning, TraceEvent::UserKeyRepairing, path, LastError());
    return OpenOrCreateSecured(HKEY_CURRENT_USER, path, kUserKeyAccess, true, 0);
}

bool SecuredKey::DeleteKeyTree(const std::wstring& name) {
    return DeleteKeyTreeAtDepth(name, 0);
}

bool SecuredKey::DeleteKeyTreeAtDepth(const std::wstring& name, int depth) {
    if (DeleteSubKey(name.c_str()) || LastError() == ERROR_KEY_DELETED) return true;
    if (LastError() != ERROR_ACCESS_DENIED) {
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::TreeNotDeleted, name, LastError());
        return false;
    }
    if (depth >= kMaxKeyDepth) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::TreeTooDeep, name);
        return false;
    }
    // Somewhere beneath, a key refuses: repair this one, then empty it one
    // subkey at a time, each refusing subkey repaired in turn.
    SecuredKey key;
    if (!key.OpenSecured(m_root, m_path + L"\\" + name, m_access | KEY_ENUMERATE_SUB_KEYS)) {
        StoreLastError(key.LastError());
        return false;
    }
    std::wstring child(kMaxKeyNameChars, L'\0');
    std::wstring deleted;
    while (key.EnumerateSubKey(0, child.data(), kMaxKeyNameChars) == ERROR_SUCCESS) {
        const std::wstring next = child.c_str();
        // A subkey that comes back after its deletion would keep this loop going.
        if (next == deleted || !key.DeleteKeyTreeAtDepth(next, depth + 1)) break;
        deleted = next;
    }
    key.Close();
    return DeleteSubKey(name.c_str());
}

}  // namespace pxLib

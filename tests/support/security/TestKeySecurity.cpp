#include "TestKeySecurity.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include "common/TestSupport.h"

namespace qvdtest {
namespace {

// Everyone may do everything: what a key is given back before it is deleted.
const wchar_t kOpenToAll[] = L"D:(A;OICI;KA;;;WD)";

void UnlockKey(HKEY root, const std::wstring& path, REGSAM view) {
    const SddlDacl open(kOpenToAll);
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, key.put()) != ERROR_SUCCESS) {
        // Owned by someone else: an owner may always write the DACL.
        pxLib::UniqueHandle token;
        std::vector<BYTE> user(512);
        DWORD size = 0;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
            !GetTokenInformation(token.get(), TokenUser, user.data(),
                                 static_cast<DWORD>(user.size()), &size))
            return;
        pxLib::UniqueRegKey ownerKey;
        if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_OWNER | view, ownerKey.put()) !=
            ERROR_SUCCESS)
            return;
        SetSecurityInfo(ownerKey.get(), SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION,
                        reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, nullptr, nullptr,
                        nullptr);
        if (RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, key.put()) != ERROR_SUCCESS)
            return;
    }
    SetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                    open.dacl(), nullptr);
}

void UnlockTree(HKEY root, const std::wstring& path, REGSAM view) {
    UnlockKey(root, path, view);
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | view, key.put()) !=
        ERROR_SUCCESS)
        return;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        UnlockTree(root, path + L"\\" + name, view);
    }
}

const wchar_t kPluginKey[] = L"Software\\Halvex";

}  // namespace

const wchar_t kAllButReading[] = L"0xD0026";

std::wstring DenyingProcessUser(const std::wstring& rights, const std::wstring& flags) {
    return L"D:(D;" + flags + L";" + rights + L";;;" + ProcessUserSidText() + L")(A;OICI;KA;;;BA)";
}

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return L"<no SID>";
    const pxLib::UniqueLocalMemory owner(text);
    return text;
}

std::wstring ProcessUserSidText() {
    pxLib::UniqueHandle token;
    std::vector<BYTE> user(512);
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
        !GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()),
                             &size))
        return L"<no user>";
    return SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

std::vector<AceRecord> AclEntries(const ACL* acl) {
    std::vector<AceRecord> entries;
    if (acl == nullptr) return entries;
    for (WORD index = 0; index < acl->AceCount; ++index) {
        void* raw = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), index, &raw)) break;
        const auto* entry = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        entries.push_back({entry->Header.AceType, entry->Header.AceFlags, entry->Mask,
                           SidText(const_cast<DWORD*>(&entry->SidStart))});
    }
    return entries;
}

std::ostream& operator<<(std::ostream& out, const AceRecord& entry) {
    return out << "{type " << int(entry.type) << ", flags 0x" << std::hex << int(entry.flags)
               << ", mask 0x" << entry.mask << std::dec << ", " << Narrow(entry.sid) << "}";
}

SddlDacl::SddlDacl(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        ADD_FAILURE() << "bad SDDL " << Narrow(sddl) << ": " << GetLastError();
        return;
    }
    m_descriptor.reset(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorDacl(descriptor, &present, &m_dacl, &defaulted);
    GetSecurityDescriptorOwner(descriptor, &m_owner, &defaulted);
}

LONG SetKeySecurity(HKEY root, const std::wstring& path, REGSAM view, const std::wstring& sddl) {
    const SddlDacl security(sddl);
    pxLib::UniqueRegKey key;
    const REGSAM rights = WRITE_DAC | (security.owner() ? WRITE_OWNER : 0);
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, rights | view, key.put());
    if (rc != ERROR_SUCCESS) return rc;
    if (security.owner()) {
        rc = static_cast<LONG>(SetSecurityInfo(key.get(), SE_REGISTRY_KEY,
                                               OWNER_SECURITY_INFORMATION, security.owner(),
                                               nullptr, nullptr, nullptr));
        if (rc != ERROR_SUCCESS) return rc;
    }
    return static_cast<LONG>(SetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, security.dacl(), nullptr));
}

std::vector<AceRecord> KeyDaclEntries(HKEY root, const std::wstring& path, REGSAM view) {
    pxLib::UniqueRegKey key;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | view, key.put()) != ERROR_SUCCESS ||
        GetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot read the DACL of " << Narrow(path);
        return {};
    }
    const pxLib::UniqueLocalMemory owner(descriptor);
    return AclEntries(dacl);
}

std::wstring KeyOwnerText(HKEY root, const std::wstring& path, REGSAM view) {
    pxLib::UniqueRegKey key;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | view, key.put()) != ERROR_SUCCESS ||
        GetSecurityInfo(key.get(), SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"<unreadable>";
    const pxLib::UniqueLocalMemory descriptorOwner(descriptor);
    return SidText(owner);
}

LONG OpenResult(HKEY root, const std::wstring& path, REGSAM view, REGSAM access) {
    pxLib::UniqueRegKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, access | view, key.put());
}

LONG CreatePlainKey(HKEY root, const std::wstring& path, REGSAM view, DWORD options) {
    pxLib::UniqueRegKey key;
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS | view, nullptr,
                           key.put(), nullptr);
}

bool IsVolatileKey(HKEY root, const std::wstring& path, REGSAM view) {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS)
        return false;
    pxLib::UniqueRegKey child;
    const LONG rc =
        RegCreateKeyExW(key.get(), L"volatility-check", 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | view, nullptr, child.put(), nullptr);
    if (rc == ERROR_SUCCESS) {
        child.reset();
        RegDeleteKeyExW(key.get(), L"volatility-check", view, 0);
    }
    return rc == ERROR_CHILD_MUST_BE_VOLATILE;
}

bool IsEmptyKey(HKEY root, const std::wstring& path, REGSAM view) {
    pxLib::UniqueRegKey key;
    DWORD subkeys = 1;
    DWORD values = 1;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS &&
           RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

void UnlockAndDeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    UnlockTree(root, path, view);
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) == ERROR_SUCCESS) {
        RegDeleteTreeW(key.get(), nullptr);
        key.reset();
    }
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}

PluginTestKey::PluginTestKey(HKEY root, REGSAM view)
    : PluginTestKey(root, view, std::wstring(kPluginKey) + L"\\QVDTest-" + NewGuidText()) {}

PluginTestKey::PluginTestKey(const PluginTestKey& twin, REGSAM view)
    : PluginTestKey(twin.m_root, view, twin.m_path) {}

PluginTestKey::PluginTestKey(HKEY root, REGSAM view, std::wstring path)
    : m_root(root), m_view(view), m_path(std::move(path)) {
    pxLib::UniqueRegKey parent;
    DWORD disposition = 0;
    if (RegCreateKeyExW(m_root, kPluginKey, 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr,
                        parent.put(), &disposition) == ERROR_SUCCESS)
        m_createdParent = disposition == REG_CREATED_NEW_KEY;
    EXPECT_EQ(CreatePlainKey(m_root, m_path, m_view), ERROR_SUCCESS);
}

PluginTestKey::~PluginTestKey() {
    UnlockAndDeleteTree(m_root, m_path, m_view);
    if (m_createdParent && IsEmptyKey(m_root, kPluginKey, m_view))
        RegDeleteKeyExW(m_root, kPluginKey, m_view, 0);
}

std::wstring PluginTestKey::Path(const std::wstring& sub) const {
    return sub.empty() ? m_path : m_path + L"\\" + sub;
}

void PluginTestKey::Make(const std::wstring& sub, const std::wstring& sddl) const {
    EXPECT_EQ(CreatePlainKey(m_root, Path(sub), m_view), ERROR_SUCCESS) << Narrow(sub);
    if (!sddl.empty()) {
        EXPECT_EQ(SetKeySecurity(m_root, Path(sub), m_view, sddl), ERROR_SUCCESS) << Narrow(sub);
    }
}

}  // namespace qvdtest

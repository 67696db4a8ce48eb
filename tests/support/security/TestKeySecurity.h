// Registry keys of the tests' own with the DACLs and owners the tests choose,
// and readers of what the code under test left in them. Everything here goes
// through Win32 directly, so that a fault in the code under test cannot hide
// itself.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/system/UniqueHandle.h"

namespace qvdtest {

std::wstring SidText(PSID sid);
// The process user, read from the process token here rather than by the code under test.
std::wstring ProcessUserSidText();

// One DACL entry as the tests compare them.
struct AceRecord {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    std::wstring sid;
    bool operator==(const AceRecord& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
};
std::vector<AceRecord> AclEntries(const ACL* acl);
std::ostream& operator<<(std::ostream& out, const AceRecord& entry);

// A DACL made from SDDL text ("D:(A;;KA;;;BA)..."), kept with its descriptor.
class SddlDacl {
public:
    explicit SddlDacl(const std::wstring& sddl);
    PACL dacl() const { return m_dacl; }
    PSID owner() const { return m_owner; }

private:
    pxLib::UniqueLocalMemory m_descriptor;
    PACL m_dacl = nullptr;
    PSID m_owner = nullptr;
};

// Every right but reading: a key that refuses only these can still be read,
// so its DACL can be merged.
extern const wchar_t kAllButReading[];
// SDDL of a DACL that refuses the process user the rights given (an SDDL mask,
// on an entry with the flags given) and gives Administrators full control.
std::wstring DenyingProcessUser(const std::wstring& rights, const std::wstring& flags = {});

// Sets the DACL (and the owner when the text names one, "O:SY" first) of
// root\path through a handle opened with only the rights that need.
LONG SetKeySecurity(HKEY root, const std::wstring& path, REGSAM view, const std::wstring& sddl);
std::vector<AceRecord> KeyDaclEntries(HKEY root, const std::wstring& path, REGSAM view);
std::wstring KeyOwnerText(HKEY root, const std::wstring& path, REGSAM view);
// The result of opening root\path with access; the key is closed again.
LONG OpenResult(HKEY root, const std::wstring& path, REGSAM view, REGSAM access);
LONG CreatePlainKey(HKEY root, const std::wstring& path, REGSAM view, DWORD options = 0);
// A volatile key refuses a non-volatile child with ERROR_CHILD_MUST_BE_VOLATILE.
bool IsVolatileKey(HKEY root, const std::wstring& path, REGSAM view);
// True when the key exists and holds neither subkeys nor values.
bool IsEmptyKey(HKEY root, const std::wstring& path, REGSAM view);
// Makes every key of the tree writable again and deletes it.
void UnlockAndDeleteTree(HKEY root, const std::wstring& path, REGSAM view);

// A key of this test alone beneath Software\Halvex, the only keys the access
// repair changes. At the end its tree is unlocked and removed, and so is
// Software\Halvex when this key made it and nothing else is in it.
class PluginTestKey {
public:
    explicit PluginTestKey(HKEY root = HKEY_CURRENT_USER, REGSAM view = KEY_WOW64_64KEY);
    // The key of that name in another view, a twin of the first.
    PluginTestKey(const PluginTestKey& twin, REGSAM view);
    ~PluginTestKey();
    PluginTestKey(const PluginTestKey&) = delete;  // a twin is made with a view
    PluginTestKey& operator=(const PluginTestKey&) = delete;

    HKEY root() const { return m_root; }
    REGSAM view() const { return m_view; }
    // Software\Halvex\QVDTest-{guid}, or a key beneath it.
    std::wstring Path(const std::wstring& sub = {}) const;
    // Creates sub (and the keys above it) and gives it the DACL, when one is given.
    void Make(const std::wstring& sub, const std::wstring& sddl = {}) const;

private:
    PluginTestKey(HKEY root, REGSAM view, std::wstring path);

    HKEY m_root;
    REGSAM m_view;
    bool m_createdParent = false;
    std::wstring m_path;
};

}  // namespace qvdtest

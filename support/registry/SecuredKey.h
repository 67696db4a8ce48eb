// A registry key that repairs its own access rights once when Windows refuses
// it (see KeyAccessRepair.h), used for the restart marker and for deleting
// key trees that refuse deletion.
#pragma once

#include <windows.h>

#include <string>

#include "support/registry/RegistryKey.h"

namespace pxLib {

class SecuredKey : public RegistryKey {
public:
    // Opens root\path; an absent key is not repaired.
    [[nodiscard]] bool OpenSecured(HKEY root, const std::wstring& path, REGSAM access);
    // Opens, with create creating, root\path with the given options.
    [[nodiscard]] bool OpenOrCreateSecured(HKEY root, const std::wstring& path, REGSAM access,
                                           bool create, DWORD options);
    // Creates or opens HKEY_CURRENT_USER\path, non-volatile, in the 32-bit view.
    [[nodiscard]] bool CreateUserKey(const std::wstring& path);
    // Deletes the subkey name with everything beneath it; keys beneath that
    // refuse deletion are repaired and deleted one by one. A key deleted
    // meanwhile counts as deleted.
    [[nodiscard]] bool DeleteKeyTree(const std::wstring& name);

    HKEY Root() const { return m_root; }
    const std::wstring& Path() const { return m_path; }
    REGSAM Access() const { return m_access; }

private:
    void Remember(HKEY root, const std::wstring& path, REGSAM access);
    [[nodiscard]] bool DeleteKeyTreeAtDepth(const std::wstring& name, int depth);

    HKEY m_root = nullptr;
    std::wstring m_path;
    REGSAM m_access = 0;
};

}  // namespace pxLib

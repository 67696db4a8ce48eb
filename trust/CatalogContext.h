// The system catalog database: an administrator context (SHA-256 or the
// default algorithm), a file's hash for lookup, and the catalogs holding it.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pxLib {

// A catalog administrator context, released when the holder ends.
class CatalogContext {
public:
    // With useSha256, CryptCATAdminAcquireContext2 of the already loaded
    // WinTrust.dll ("SHA256"); without it, CryptCATAdminAcquireContext.
    explicit CatalogContext(bool useSha256);
    ~CatalogContext();
    CatalogContext(const CatalogContext&) = delete;
    CatalogContext& operator=(const CatalogContext&) = delete;

    [[nodiscard]] bool Acquired() const { return m_succeeded; }
    // False also when SHA-256 was asked for and the platform lacks it.
    [[nodiscard]] bool UsesSha256() const { return m_useSha256; }
    HCATADMIN Handle() const { return m_context; }

private:
    bool m_succeeded = false;
    bool m_useSha256 = false;
    HCATADMIN m_context = nullptr;
};

// A file's hash as the catalog database looks it up.
class CatalogFileHash {
public:
    // context may be null (then the default algorithm's function is used).
    // A held file is hashed through its handle and its path is not opened.
    CatalogFileHash(HCATADMIN context, const std::wstring& path, bool useSha256,
                    HANDLE heldFile = nullptr);

    [[nodiscard]] bool Succeeded() const { return m_succeeded; }
    const std::vector<uint8_t>& Bytes() const { return m_hash; }
    // The hash in upper-case hexadecimal: the catalog member tag.
    const std::wstring& MemberTag() const { return m_memberTag; }
    DWORD LastError() const { return m_lastError; }

private:
    bool m_succeeded = false;
    std::vector<uint8_t> m_hash;
    std::wstring m_memberTag;
    DWORD m_lastError = 0;
};

// The catalogs that hold a hash, in the database's order.
class CatalogIterator {
public:
    CatalogIterator(HCATADMIN context, const std::vector<uint8_t>& hash);

    [[nodiscard]] bool FoundNone() const { return m_catalogs.empty(); }
    const std::vector<std::wstring>& Catalogs() const { return m_catalogs; }

private:
    std::vector<std::wstring> m_catalogs;
};

// The member tag of a hash: two upper-case hexadecimal digits per byte.
std::wstring HashMemberTag(const std::vector<uint8_t>& hash);

// SHA-256 on Windows 8 and later; before that SHA-256 only when the platform
// has it and a catalog holds the file under its SHA-256 hash, else SHA-1.
[[nodiscard]] bool ChooseSha256ForCatalogs(const std::wstring& path, HANDLE heldFile = nullptr);

}  // namespace pxLib

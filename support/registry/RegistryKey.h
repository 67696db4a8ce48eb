// The registry key wrapper: exact open, create, read, write and delete
// semantics, with every operation's Win32 result kept for the caller to log.
#pragma once

#include <windows.h>

#include <string>

#include "support/system/UniqueHandle.h"

namespace pxLib {

class RegistryKey {
public:
    RegistryKey() = default;
    virtual ~RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens root\subkey; with createIfMissing a missing key is made by Create.
    [[nodiscard]] bool Open(HKEY root, const wchar_t* subkey, REGSAM access,
                            bool createIfMissing = false, DWORD options = 0);
    // Creates or opens root\subkey. With REG_OPTION_VOLATILE, from Windows 6.0
    // on, the key held afterwards is volatile even when a non-volatile one of
    // that name existed (that one is deleted with everything beneath it).
    [[nodiscard]] bool Create(HKEY root, const wchar_t* subkey, REGSAM access, DWORD options);
    // Forgets the handle and the view; LastError() then holds RegCloseKey's result.
    // A failed close is traced and the key is forgotten either way, so callers
    // that only let the key go need not look at the result.
    bool Close();

    // Only a REG_DWORD of 4 bytes; any other type or size is ERROR_INVALID_DATA.
    [[nodiscard]] bool QueryDWORD(const wchar_t* name, DWORD& value);
    // REG_SZ or REG_EXPAND_SZ (left unexpanded) of an even byte size, cut at
    // its first null; anything else is ERROR_INVALID_DATA.
    [[nodiscard]] bool QueryString(const wchar_t* name, std::wstring& value);
    [[nodiscard]] bool SetDWORD(const wchar_t* name, DWORD value);
    // REG_SZ with its terminator.
    [[nodiscard]] bool SetString(const wchar_t* name, const std::wstring& text);
    [[nodiscard]] bool DeleteValue(const wchar_t* name);

    // Deletes the subkey with all its subkeys and values, in the view this key
    // was opened in. A null name means the empty string: the key itself.
    [[nodiscard]] bool DeleteSubKey(const wchar_t* name);
    // Deletes the subkey only when it has neither subkeys nor values
    // (ERROR_KEY_HAS_CHILDREN otherwise).
    [[nodiscard]] bool DeleteEmptySubKey(const wchar_t* name);

    // The name of the index-th subkey or value into name[0..capacity), with its
    // terminator; the Win32 result (ERROR_NO_MORE_ITEMS past the last one).
    LONG EnumerateSubKey(DWORD index, wchar_t* name, DWORD capacity);
    LONG EnumerateValue(DWORD index, wchar_t* name, DWORD capacity);

    LONG LastError() const { return m_lastError; }
    [[nodiscard]] bool IsOpen() const { return static_cast<bool>(m_key); }
    HKEY Handle() const { return m_key.get(); }
    // KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0, as the access mask of the open asked.
    REGSAM View() const { return m_view; }

protected:
    // For the access-repairing variant, which reports its own failures here.
    void StoreLastError(LONG error) { m_lastError = error; }

private:
    void RememberView(REGSAM access);
    [[nodiscard]] bool CreateKey(HKEY root, const wchar_t* subkey, REGSAM access, DWORD options);
    [[nodiscard]] bool CreateVolatileKey(HKEY root, const wchar_t* subkey, REGSAM access,
                                         DWORD options);
    [[nodiscard]] bool RequireOpen();

    UniqueRegKey m_key;
    REGSAM m_view = 0;
    LONG m_lastError = ERROR_SUCCESS;
};

}  // namespace pxLib

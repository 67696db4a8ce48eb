// A product key of a fresh silo under HKLM\SOFTWARE\Halvex with its path
// expansion map, in one registry view, removed with everything beneath it.
#pragma once

#include <windows.h>

#include <string>

#include "common/TestSupport.h"

namespace qvdtest {

class ProductMapKeys {
public:
    // withMap false: only the product key, so the map key is missing.
    explicit ProductMapKeys(REGSAM view = KEY_WOW64_64KEY, bool withMap = true);

    const std::wstring& silo() const { return m_silo; }
    std::wstring mapPath() const { return m_product.path() + L"\\Plexor\\PathExpansionMap"; }

    void CreateMap();
    // A string value of the map, REG_SZ with its terminator unless told otherwise.
    bool SetString(const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
    // A value of any type with exactly these bytes.
    bool SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size);
    // The subkey name, holding "Path64" = text.
    bool SetPath64(const std::wstring& name, const std::wstring& text);
    bool AddSubkey(const std::wstring& name);
    // Removes every value and subkey but keeps the map key itself (the
    // process that opened it keeps its handle).
    void Clear();

private:
    std::wstring m_silo;
    REGSAM m_view;
    ScopedRegistryKey m_product;
};

}  // namespace qvdtest

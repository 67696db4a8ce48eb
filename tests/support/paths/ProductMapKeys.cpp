#include "ProductMapKeys.h"

#include <objbase.h>

#include "support/system/UniqueHandle.h"

namespace qvdtest {

ProductMapKeys::ProductMapKeys(REGSAM view, bool withMap)
    : m_silo(NewGuidText()),
      m_view(view),
      m_product(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvex\\" + m_silo, view) {
    if (withMap) CreateMap();
}

void ProductMapKeys::CreateMap() {
    pxLib::UniqueRegKey key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, mapPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view,
                    nullptr, key.put(), nullptr);
}

bool ProductMapKeys::SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, mapPath().c_str(), 0, KEY_SET_VALUE | m_view,
                      key.put()) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

bool ProductMapKeys::SetString(const std::wstring& name, const std::wstring& text, DWORD type) {
    return SetRaw(name, type, text.c_str(),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool ProductMapKeys::AddSubkey(const std::wstring& name) {
    pxLib::UniqueRegKey key;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, (mapPath() + L"\\" + name).c_str(), 0, nullptr, 0,
                           KEY_ALL_ACCESS | m_view, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

bool ProductMapKeys::SetPath64(const std::wstring& name, const std::wstring& text) {
    pxLib::UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (mapPath() + L"\\" + name).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS | m_view, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), L"Path64", 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void ProductMapKeys::Clear() {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, mapPath().c_str(), 0, KEY_ALL_ACCESS | m_view,
                      key.put()) == ERROR_SUCCESS)
        RegDeleteTreeW(key.get(), nullptr);
}

}  // namespace qvdtest

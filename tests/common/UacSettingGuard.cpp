#include "UacSettingGuard.h"

#include "support/system/UniqueHandle.h"

#include <cwchar>

namespace qvdtest {
namespace {
const wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kValue[] = L"EnableLUA";

void Write(DWORD type, const void* data, DWORD size) {
    pxLib::UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) == ERROR_SUCCESS)
        RegSetValueExW(key.get(), kValue, 0, type, static_cast<const BYTE*>(data), size);
}
}  // namespace

UacSettingGuard::UacSettingGuard() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_ANY, &m_type, nullptr, &size) ==
        ERROR_SUCCESS) {
        m_data.resize(size);
        m_hadValue = RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_ANY | RRF_NOEXPAND,
                                  &m_type, m_data.data(), &size) == ERROR_SUCCESS;
        m_data.resize(size);
    }
}

UacSettingGuard::~UacSettingGuard() {
    if (m_hadValue) {
        Write(m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
    } else {
        Remove();
    }
}

void UacSettingGuard::SetDword(DWORD value) {
    Write(REG_DWORD, &value, sizeof(value));
}

void UacSettingGuard::SetString(const wchar_t* value) {
    Write(REG_SZ, value, static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

void UacSettingGuard::Remove() {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kKey, kValue);
}

}  // namespace qvdtest

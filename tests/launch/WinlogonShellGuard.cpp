#include "WinlogonShellGuard.h"

#include "support/system/UniqueHandle.h"

#include <cwchar>

namespace qvdtest {
namespace {

const wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kValue[] = L"Shell";

bool Write(DWORD type, const void* data, DWORD size) {
    pxLib::UniqueRegKey key;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                           key.put(), nullptr) == ERROR_SUCCESS &&
           RegSetValueExW(key.get(), kValue, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
}

}  // namespace

WinlogonShellGuard::WinlogonShellGuard() {
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_ANY | RRF_NOEXPAND, &m_type, nullptr,
                     &size) == ERROR_SUCCESS) {
        m_data.resize(size);
        m_hadValue = RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_ANY | RRF_NOEXPAND,
                                  &m_type, m_data.data(), &size) == ERROR_SUCCESS;
        m_data.resize(size);
    }
}

WinlogonShellGuard::~WinlogonShellGuard() {
    if (m_hadValue) {
        Write(m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
    } else {
        Remove();
    }
}

bool WinlogonShellGuard::Set(DWORD type, const wchar_t* text) {
    return Write(type, text, static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

bool WinlogonShellGuard::Remove() {
    const LONG rc = RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kKey, kValue);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace qvdtest

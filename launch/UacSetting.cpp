#include "launch/UacSetting.h"

#include "support/system/UniqueHandle.h"

namespace qvd::launch {

bool IsUacEnabled() {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 0,
                      KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), L"EnableLUA", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS)
        return false;
    return type == REG_DWORD && size == sizeof(value) && value == 1;
}

}  // namespace qvd::launch

// The one registry read the logging layer needs, which sits below the
// registry wrapper (that wrapper traces through logging).
#pragma once

#include <windows.h>

#include <cstdint>

namespace pxLib {

// A REG_DWORD of exactly four bytes; a shorter one would leave part unread.
[[nodiscard]] inline bool ReadRegistryDword(HKEY key, const wchar_t* name, uint32_t& value) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data))
        return false;
    value = data;
    return true;
}

// An optional REG_DWORD: value keeps what it holds when there is none.
inline void ReadOptionalRegistryDword(HKEY key, const wchar_t* name, uint32_t& value) {
    static_cast<void>(ReadRegistryDword(key, name, value));
}

}  // namespace pxLib

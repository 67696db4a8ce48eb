// Sets HKLM\...\Policies\System "EnableLUA" for a test and puts the machine's
// own value back afterwards. Tests using it share the CTest lock "EnableLUA".
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

namespace qvdtest {

class UacSettingGuard {
public:
    UacSettingGuard();
    ~UacSettingGuard();
    void SetDword(DWORD value);
    void SetString(const wchar_t* value);
    void Remove();

private:
    bool m_hadValue = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_data;
};

}  // namespace qvdtest

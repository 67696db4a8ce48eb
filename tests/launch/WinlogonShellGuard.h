// Sets the Winlogon "Shell" value for a test and puts the prefix's own value
// back afterwards, failed test or not. Tests using it share the CTest lock
// "WinlogonShell".
#pragma once

#include <windows.h>

#include <vector>

namespace qvdtest {

class WinlogonShellGuard {
public:
    WinlogonShellGuard();
    ~WinlogonShellGuard();
    WinlogonShellGuard(const WinlogonShellGuard&) = delete;
    WinlogonShellGuard& operator=(const WinlogonShellGuard&) = delete;

    bool Set(DWORD type, const wchar_t* text);
    bool Remove();

private:
    bool m_hadValue = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_data;
};

}  // namespace qvdtest

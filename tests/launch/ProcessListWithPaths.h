// Windows' Win32_Process objects carry "ExecutablePath" and "SessionId";
// Wine 8's carry neither (reading them gives WBEM_E_NOT_FOUND). This list
// hands out the objects of a real WMI enumeration with those two answered
// from the process itself, as Windows fills them: QueryFullProcessImageNameW
// (VT_NULL when the process cannot be opened) and ProcessIdToSessionId.
// Everything else is the real object's answer.
#pragma once

#include <windows.h>
#include <wbemidl.h>

#include "support/system/ComPtr.h"

#include <memory>
#include <vector>

namespace qvdtest {

struct ProcessListFacts {
    // The first of these processes whose session the walk reads is reported
    // one session further on, as if it ran for another user.
    std::vector<DWORD> moveFirstAsked;
    DWORD moved = 0;
    std::vector<DWORD> sessionAsked;  // in the order the walk read them
};

// Wraps real (taken over); facts is shared with the objects handed out.
pxLib::ComPtr<IEnumWbemClassObject> ProcessListWithPaths(pxLib::ComPtr<IEnumWbemClassObject> real,
                                                         std::shared_ptr<ProcessListFacts> facts);

}  // namespace qvdtest

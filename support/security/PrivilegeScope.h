// A privilege enabled for the length of one scope: on the calling thread's
// token when the thread impersonates, otherwise on the process token; the
// earlier state is put back when the scope ends.
#pragma once

#include <windows.h>

#include "support/system/UniqueHandle.h"

namespace pxLib {

class PrivilegeScope {
public:
    explicit PrivilegeScope(const wchar_t* privilege);
    ~PrivilegeScope();
    PrivilegeScope(const PrivilegeScope&) = delete;
    PrivilegeScope& operator=(const PrivilegeScope&) = delete;

    // False when no token could be opened or the token does not hold the privilege.
    [[nodiscard]] bool Enabled() const { return m_enabled; }

private:
    UniqueHandle m_token;
    TOKEN_PRIVILEGES m_previous{};
    bool m_enabled = false;
};

}  // namespace pxLib

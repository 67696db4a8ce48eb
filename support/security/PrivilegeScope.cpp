#include "support/security/PrivilegeScope.h"

#include "support/logging/Trace.h"
#include "support/security/RightsChecker.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xf6fc8e6e, 0xcaa6, 0x4541, {0xab, 0x0d, 0xd2, 0x0e, 0x20, 0x1c, 0xd1, 0xda}}};
enum class TraceEvent : uint16_t {
    NoThreadToken = 1,
    TokenNotOpened = 2,
    PrivilegeNotHeld = 3,
    PrivilegeNotEnabled = 4,
    PrivilegeNotRestored = 5,
};

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

}  // namespace

PrivilegeScope::PrivilegeScope(const wchar_t* privilege) {
    // Opened as the process itself, so an impersonated client's rights do not
    // decide whether the token can be adjusted.
    if (!OpenThreadToken(GetCurrentThread(), kTokenAccess, TRUE, m_token.put())) {
        const DWORD error = GetLastError();
        if (error != ERROR_NO_TOKEN) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::TokenNotOpened, error);
            return;
        }
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::NoThreadToken);
        if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, m_token.put())) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::TokenNotOpened, GetLastError());
            return;
        }
    }
    m_enabled = ZOLT::CRightsChecker::EnablePrivilege(m_token.get(), privilege, m_previous);
    if (m_enabled) return;
    const DWORD error = GetLastError();
    if (error == ERROR_NOT_ALL_ASSIGNED)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::PrivilegeNotHeld, privilege);
    else
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::PrivilegeNotEnabled, privilege, error);
}

PrivilegeScope::~PrivilegeScope() {
    if (m_enabled && !ZOLT::CRightsChecker::RestorePrivilege(m_token.get(), m_previous))
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::PrivilegeNotRestored, GetLastError());
}

}  // namespace pxLib

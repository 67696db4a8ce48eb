// The rights checker's token work: the process user and privileges.
#include "support/security/RightsChecker.h"

#include <new>

#include "support/security/TokenUser.h"
#include "support/system/UniqueHandle.h"

namespace ZOLT {

SidValue CRightsChecker::ProcessUserSid() {
    pxLib::UniqueHandle processToken;
    pxLib::UniqueHandle duplicate;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, processToken.put()) ||
        !DuplicateToken(processToken.get(), SecurityImpersonation, duplicate.put()))
        throw Exception(ErrorCode::TokenNotDuplicated);
    SidValue user;
    DWORD error = ERROR_SUCCESS;
    try {
        error = ReadTokenUser(duplicate.get(), user);
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != ERROR_SUCCESS) throw Exception(ErrorCode::TokenUserUnreadable);
    return user;
}

bool CRightsChecker::EnablePrivilege(HANDLE token, const wchar_t* privilege,
                                     TOKEN_PRIVILEGES& previous) {
    previous = {};
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, privilege, &wanted.Privileges[0].Luid)) return false;
    DWORD previousSize = 0;
    if (!AdjustTokenPrivileges(token, FALSE, &wanted, sizeof(previous), &previous, &previousSize))
        return false;
    // Success with ERROR_NOT_ALL_ASSIGNED: the token does not hold the privilege.
    return GetLastError() != ERROR_NOT_ALL_ASSIGNED;
}

bool CRightsChecker::RestorePrivilege(HANDLE token, const TOKEN_PRIVILEGES& previous) {
    // Nothing recorded: enabling changed nothing, so there is nothing to undo.
    if (previous.PrivilegeCount == 0) return true;
    TOKEN_PRIVILEGES state = previous;
    return AdjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr) != FALSE;
}

}  // namespace ZOLT

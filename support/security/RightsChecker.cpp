// Granting rights on a registry key, and resetting its DACL to inherited.
#include "support/security/RightsChecker.h"

#include <aclapi.h>
#include <sddl.h>

#include "support/errors/LastError.h"
#include "support/logging/Trace.h"
#include "support/security/AclBuilder.h"
#include "support/security/DaclMerge.h"
#include "support/security/RegistryObjectName.h"
#include "support/security/TokenUser.h"
#include "support/system/UniqueHandle.h"

namespace ZOLT {
namespace {

using pxLib::Trace;
using pxLib::TraceLevel;

const pxLib::TraceSource kTraceSource{
    {0x916b17ee, 0xd238, 0x432c, {0xba, 0x82, 0x90, 0x10, 0xbf, 0x96, 0x26, 0x39}}};
enum class TraceEvent : uint16_t {
    KeyNotReadable = 1,
    DaclNotRead = 2,
    DaclNotWritten = 3,
    TokenNotOpened = 4,
    TakeOwnershipNotEnabled = 5,
    TokenUserNotRead = 6,
    OwnerNotSet = 7,
    DaclRewritten = 8,
    PrivilegeNotRestored = 9,
};

// An empty DACL that takes its entries from the parent only.
const wchar_t kInheritedOnlyDacl[] = L"D:AI";

// The view the change is made in: the caller's 64-bit or 32-bit view; with
// neither bit, this 64-bit module's own view.
REGSAM ChangeView(REGSAM viewAccess) {
    if (viewAccess & KEY_WOW64_64KEY) return KEY_WOW64_64KEY;
    return (viewAccess & KEY_WOW64_32KEY) ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// Each change opens its own handle with exactly the right it needs: a handle
// opened for reading cannot write the DACL or the owner.
DWORD WriteSecurity(HKEY root, const std::wstring& path, REGSAM view, REGSAM right,
                    SECURITY_INFORMATION what, PSID owner, PACL dacl) {
    pxLib::UniqueRegKey key;
    const LONG opened = RegOpenKeyExW(root, path.c_str(), 0, right | view, key.put());
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    return SetSecurityInfo(key.get(), SE_REGISTRY_KEY, what, owner, nullptr, dacl, nullptr);
}

DWORD WriteDacl(HKEY root, const std::wstring& path, REGSAM view, PACL dacl) {
    return WriteSecurity(root, path, view, WRITE_DAC, DACL_SECURITY_INFORMATION, nullptr, dacl);
}

// Makes the process user the key's owner, with SeTakeOwnershipPrivilege
// enabled for the change; an owner may always write the DACL.
DWORD TakeOwnership(HKEY root, const std::wstring& path, REGSAM view,
                    const std::wstring& objectName) {
    pxLib::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.put())) {
        const DWORD error = GetLastError();
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::TokenNotOpened, error);
        return error;
    }
    TOKEN_PRIVILEGES previous{};
    const bool privileged =
        CRightsChecker::EnablePrivilege(token.get(), SE_TAKE_OWNERSHIP_NAME, previous);
    // Without the privilege the DACL may still let this user change the owner.
    if (!privileged)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::TakeOwnershipNotEnabled, GetLastError());
    SidValue user;
    DWORD error = ReadTokenUser(token.get(), user);
    if (error != ERROR_SUCCESS) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::TokenUserNotRead, error);
    } else {
        error = WriteSecurity(root, path, view, WRITE_OWNER, OWNER_SECURITY_INFORMATION, user.Get(),
                              nullptr);
        if (error != ERROR_SUCCESS)
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::OwnerNotSet, objectName, error);
    }
    if (privileged && !CRightsChecker::RestorePrivilege(token.get(), previous))
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::PrivilegeNotRestored, GetLastError());
    return error;
}

HRESULT Failure(DWORD error) {
    SetLastError(error);
    return pxLib::HResultFromError(error);
}

}  // namespace

HRESULT CRightsChecker::GrantRights(HKEY root, const std::wstring& path, REGSAM viewAccess,
                                    const RightsRequest& request, PSID sid) {
    const std::wstring objectName = RegistryObjectName(root, path);
    const REGSAM view = ChangeView(viewAccess);
    pxLib::UniqueRegKey key;
    const LONG opened = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put());
    if (opened != ERROR_SUCCESS) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::KeyNotReadable, objectName, opened);
        return E_FAIL;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    const DWORD read = GetSecurityInfo(key.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &dacl, nullptr, &rawDescriptor);
    const pxLib::UniqueLocalMemory descriptor(rawDescriptor);
    if (read != ERROR_SUCCESS) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::DaclNotRead, objectName, read);
        return Failure(read);
    }
    key.reset();
    // No DACL at all grants everyone everything.
    if (dacl == nullptr) return kNoChangeNeeded;
    AclBuilder rebuilt(dacl->AclRevision);
    if (!RebuildDacl(dacl, request, sid, rebuilt)) return kNoChangeNeeded;

    DWORD written = WriteDacl(root, path, view, rebuilt.Acl());
    if (written != ERROR_SUCCESS) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::DaclNotWritten, objectName, written);
        written = TakeOwnership(root, path, view, objectName);
        if (written == ERROR_SUCCESS) written = WriteDacl(root, path, view, rebuilt.Acl());
        if (written != ERROR_SUCCESS) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::DaclNotWritten, objectName, written);
            return Failure(written);
        }
    }
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::DaclRewritten, objectName);
    return kDaclWritten;
}

HRESULT CRightsChecker::GrantRightsToProcessUser(HKEY root, const std::wstring& path,
                                                 REGSAM viewAccess, const RightsRequest& request) {
    const SidValue user = ProcessUserSid();
    return GrantRights(root, path, viewAccess, request, user.Get());
}

DWORD CRightsChecker::ResetDaclToInherited(const std::wstring& objectName, REGSAM viewAccess) {
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kInheritedOnlyDacl, SDDL_REVISION_1,
                                                              &rawDescriptor, nullptr))
        return GetLastError();
    const pxLib::UniqueLocalMemory descriptor(rawDescriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(rawDescriptor, &present, &dacl, &defaulted))
        return GetLastError();
    // Named in the 64-bit view, a key of the 32-bit view would be its twin.
    const SE_OBJECT_TYPE type =
        ChangeView(viewAccess) == KEY_WOW64_32KEY ? SE_REGISTRY_WOW64_32KEY : SE_REGISTRY_KEY;
    std::wstring name = objectName;  // the function wants a writable name
    return SetNamedSecurityInfoW(name.data(), type,
                                 DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr);
}

}  // namespace ZOLT

// The rights checker: gives a SID rights on a registry key whose DACL refuses
// them, taking ownership of the key when even the DACL cannot be written, and
// resets a key's DACL to inherited entries only. Nothing but the access repair
// of the registry wrapper uses it.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "support/security/RightsRequest.h"
#include "support/security/Sid.h"

namespace ZOLT {

class CRightsChecker {
public:
    enum class ErrorCode : uint32_t {
        TokenNotDuplicated = 1,
        TokenUserUnreadable = 2,
        AllowedEntryNotAdded = 3,
        DeniedEntryNotAdded = 4,
        UnhandledEntryType = 5,
        UnknownRootKey = 6,
    };

    // An impossible state of the rights checker; Win32 failures of reading and
    // writing security information are reported through results instead.
    class Exception : public std::exception {
    public:
        explicit Exception(ErrorCode code) : m_code(static_cast<uint32_t>(code)) {}
        uint32_t Code() const { return m_code; }
        const char* what() const noexcept override { return "rights checker error"; }

    private:
        uint32_t m_code;
    };

    // Results of GrantRights besides failures.
    static constexpr HRESULT kDaclWritten = 1;
    static constexpr HRESULT kNoChangeNeeded = 2;

    // Makes sure sid holds request on root\path, in the registry view that
    // viewAccess names (KEY_WOW64_64KEY when that bit is set, else
    // KEY_WOW64_32KEY). A key that cannot be read gives E_FAIL; a failed read
    // or write of its security information the error as an HRESULT, which is
    // also left as the thread's last error.
    [[nodiscard]] static HRESULT GrantRights(HKEY root, const std::wstring& path, REGSAM viewAccess,
                                             const RightsRequest& request, PSID sid);
    [[nodiscard]] static HRESULT GrantRightsToProcessUser(HKEY root, const std::wstring& path,
                                                          REGSAM viewAccess,
                                                          const RightsRequest& request);

    // Replaces the DACL of the key named objectName (see RegistryObjectName)
    // with an empty, auto-inherited one, so that only inherited entries stay.
    // KEY_WOW64_32KEY in viewAccess addresses the 32-bit view. A Win32 result.
    static DWORD ResetDaclToInherited(const std::wstring& objectName, REGSAM viewAccess);

    // The user of the process token, read from a duplicate of it.
    static SidValue ProcessUserSid();

    // Enables the privilege on token, keeping its earlier state in previous;
    // false when the token does not hold it (ERROR_NOT_ALL_ASSIGNED).
    [[nodiscard]] static bool EnablePrivilege(HANDLE token, const wchar_t* privilege,
                                              TOKEN_PRIVILEGES& previous);
    [[nodiscard]] static bool RestorePrivilege(HANDLE token, const TOKEN_PRIVILEGES& previous);
};

}  // namespace ZOLT

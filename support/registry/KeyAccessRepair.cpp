#include "support/registry/KeyAccessRepair.h"

#include <iterator>
#include <vector>

#include "support/errors/LastError.h"
#include "support/logging/Trace.h"
#include "support/registry/RegistryKey.h"
#include "support/security/RegistryObjectName.h"
#include "support/security/RightsChecker.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

using ZOLT::CRightsChecker;

const TraceSource kTraceSource{
    {0x9daf0654, 0x3c0b, 0x419e, {0xb6, 0xc2, 0xdd, 0xb2, 0x90, 0xf9, 0x7a, 0x33}}};
enum class TraceEvent : uint16_t {
    NotPluginKey = 1,
    RightsNotGranted = 2,
    KeyNotRepaired = 3,
    WalkStopped = 4,
    Wow64NodeKept = 5,
    ResetFailed = 6,
    PathNotRepaired = 7,
};

// The plug-in's own key; nothing above it is ever changed.
const wchar_t* const kPluginKeyComponents[] = {L"Software", L"Halvex"};
constexpr size_t kPluginKeyDepth = std::size(kPluginKeyComponents);
// The 32-bit view's node: rewriting its DACL would change every 32-bit key.
const wchar_t kWow64Node[] = L"Wow6432Node";

bool SameName(const std::wstring& a, const wchar_t* b) {
    return EqualsIgnoreAsciiCase(ToU16(a), ToU16(b));
}

std::vector<std::wstring> SplitComponents(const std::wstring& path) {
    std::vector<std::wstring> components;
    std::wstring current;
    for (wchar_t c : path) {
        if (c != L'\\' && c != L'/') {
            current.push_back(c);
        } else if (!current.empty()) {
            components.push_back(std::move(current));
            current.clear();
        }
    }
    if (!current.empty()) components.push_back(std::move(current));
    return components;
}

std::wstring Join(const std::vector<std::wstring>& components, size_t count) {
    std::wstring path;
    for (size_t i = 0; i < count; ++i) {
        if (i != 0) path += L'\\';
        path += components[i];
    }
    return path;
}

bool IsPluginKey(HKEY root, const std::vector<std::wstring>& components) {
    if (root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER) return false;
    if (components.size() < kPluginKeyDepth) return false;
    for (size_t i = 0; i < kPluginKeyDepth; ++i)
        if (!SameName(components[i], kPluginKeyComponents[i])) return false;
    return true;
}

// Full control of the key and everything beneath it for the process user,
// Administrators and LocalSystem. The outcome shows in the next open.
void GrantFullControl(HKEY root, const std::wstring& path, REGSAM access) {
    const ZOLT::RightsRequest request = ZOLT::FullControlRequest();
    try {
        static_cast<void>(CRightsChecker::GrantRightsToProcessUser(root, path, access, request));
        static_cast<void>(CRightsChecker::GrantRights(root, path, access, request,
                                                      ZOLT::AdministratorsSid().Get()));
        static_cast<void>(
            CRightsChecker::GrantRights(root, path, access, request, ZOLT::LocalSystemSid().Get()));
    } catch (const CRightsChecker::Exception& e) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::RightsNotGranted, path, e.Code());
    }
}

HRESULT RepairOneKey(HKEY root, const std::wstring& path, REGSAM access, bool create,
                     DWORD options) {
    const REGSAM fullAccess = access | KEY_ALL_ACCESS;
    RegistryKey key;
    if (key.Open(root, path.c_str(), fullAccess, create, options)) return S_OK;
    if (key.LastError() == ERROR_ACCESS_DENIED) {
        GrantFullControl(root, path, access);
        if (key.Open(root, path.c_str(), fullAccess, create, options)) return S_OK;
    }
    const HRESULT result = FailureFromErrorCode(static_cast<uint32_t>(key.LastError()));
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::KeyNotRepaired, path, result);
    return result;
}

}  // namespace

HRESULT RepairKeyAccess(HKEY root, const std::wstring& path, REGSAM access, bool create,
                        DWORD options) {
    if (!IsPluginKey(root, SplitComponents(path))) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotPluginKey, path);
        return E_ACCESSDENIED;
    }
    return RepairOneKey(root, path, access, create, options);
}

HRESULT RepairKeyPathAccess(HKEY root, const std::wstring& path, REGSAM access, bool create,
                            DWORD options) {
    const std::vector<std::wstring> components = SplitComponents(path);
    if (!IsPluginKey(root, components)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotPluginKey, path);
        return E_ACCESSDENIED;
    }
    const std::wstring fullPath = Join(components, components.size());
    for (size_t depth = kPluginKeyDepth; depth <= components.size(); ++depth) {
        const std::wstring partial = Join(components, depth);
        // Keys above the last are only ever created plain.
        const HRESULT repaired =
            RepairOneKey(root, partial, access, create, depth == components.size() ? options : 0);
        if (SUCCEEDED(repaired)) continue;
        if (repaired != E_ACCESSDENIED) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::WalkStopped, partial, repaired);
            return repaired;
        }
        if (SameName(components[depth - 1], kWow64Node)) {
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::Wow64NodeKept, partial);
            return RepairOneKey(root, fullPath, access, create, options);
        }
        const DWORD reset =
            CRightsChecker::ResetDaclToInherited(ZOLT::RegistryObjectName(root, partial), access);
        if (reset != ERROR_SUCCESS) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ResetFailed, partial, reset);
            return FailureFromErrorCode(reset);
        }
        const HRESULT result = RepairOneKey(root, fullPath, access, create, options);
        if (FAILED(result))
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::PathNotRepaired, fullPath, result);
        return result;
    }
    return S_OK;
}

}  // namespace pxLib

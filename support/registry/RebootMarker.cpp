#include "support/registry/RebootMarker.h"

#include <windows.h>

#include "support/logging/Trace.h"
#include "support/registry/SecuredKey.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x5b294258, 0x7c3d, 0x4b8e, {0xa1, 0xe3, 0xa5, 0x65, 0xa1, 0x1d, 0xc6, 0x30}}};
enum class TraceEvent : uint16_t {
    RebootPending = 1,
    MarkerNotVolatile = 2,
    VolatilityUnknown = 3,
    MarkerDeleted = 4,
    MarkerNotDeleted = 5,
    ParentNotOpened = 6,
    MarkerNotCreated = 7,
};

const wchar_t kMarkerPath[] = L"Software\\Halvex\\Reboot";
const wchar_t kParentPath[] = L"SOFTWARE\\Halvex";
const wchar_t kMarkerName[] = L"Reboot";
const wchar_t kProbeName[] = L"SubKey";

constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_WRITE | KEY_WOW64_32KEY;

enum class Volatility : uint8_t { Volatile, NotVolatile, Unknown };

// Beneath a volatile key only volatile keys can be made, so a plain subkey
// tells which kind the marker is. It is made through a handle of the marker
// itself, so that a marker deleted meanwhile is not brought back, and removed
// again at once.
Volatility ProbeMarker() {
    SecuredKey marker;
    LONG rc = ERROR_SUCCESS;
    if (marker.OpenSecured(HKEY_LOCAL_MACHINE, kMarkerPath, KEY_CREATE_SUB_KEY | kReadAccess)) {
        UniqueRegKey probe;
        rc = RegCreateKeyExW(marker.Handle(), kProbeName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             kReadAccess, nullptr, probe.put(), nullptr);
        if (rc == ERROR_CHILD_MUST_BE_VOLATILE) return Volatility::Volatile;
        if (rc == ERROR_SUCCESS) {
            probe.reset();
            RegDeleteKeyExW(marker.Handle(), kProbeName, KEY_WOW64_32KEY, 0);
            return Volatility::NotVolatile;
        }
    } else {
        rc = marker.LastError();
    }
    Trace(kTraceSource, TraceLevel::Warning, TraceEvent::VolatilityUnknown, rc);
    return Volatility::Unknown;
}

bool CreateMarkerBeneath(const std::wstring& parentPath) {
    SecuredKey marker;
    if (marker.OpenOrCreateSecured(HKEY_LOCAL_MACHINE, parentPath + L"\\" + kMarkerName,
                                   kWriteAccess, true, REG_OPTION_VOLATILE))
        return true;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::MarkerNotCreated, marker.LastError());
    return false;
}

}  // namespace

bool IsRebootPending() {
    SecuredKey marker;
    if (!marker.OpenSecured(HKEY_LOCAL_MACHINE, kMarkerPath, kReadAccess)) return false;
    Trace(kTraceSource, TraceLevel::Information, TraceEvent::RebootPending);
    if (ProbeMarker() == Volatility::NotVolatile) {
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::MarkerNotVolatile);
        marker.Close();
        // A marker that cannot be made again is traced; the restart is pending either way.
        if (DeleteRebootKey()) static_cast<void>(CreateVolatileRebootKey());
    }
    return true;
}

bool DeleteRebootKey() {
    SecuredKey parent;
    if (parent.OpenOrCreateSecured(HKEY_LOCAL_MACHINE, kParentPath, kWriteAccess, true, 0) &&
        parent.DeleteKeyTree(kMarkerName)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::MarkerDeleted);
        return true;
    }
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::MarkerNotDeleted, parent.LastError());
    return false;
}

bool CreateVolatileRebootKey() {
    SecuredKey parent;
    if (parent.OpenOrCreateSecured(HKEY_LOCAL_MACHINE, kParentPath, kReadAccess, false, 0))
        return CreateMarkerBeneath(parent.Path());
    if (parent.LastError() != ERROR_FILE_NOT_FOUND) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ParentNotOpened, parent.LastError());
        return false;
    }
    // Created in one go, the parent would be volatile too, and then no plain
    // key could ever be made beneath it.
    if (!parent.OpenOrCreateSecured(HKEY_LOCAL_MACHINE, kParentPath, kWriteAccess, true, 0)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ParentNotOpened, parent.LastError());
        return false;
    }
    return CreateMarkerBeneath(parent.Path());
}

}  // namespace pxLib

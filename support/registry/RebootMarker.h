// The machine-wide restart marker: HKEY_LOCAL_MACHINE\SOFTWARE\Halvex\Reboot
// in the 32-bit view. Its presence means a restart is pending; it is a
// volatile key, so the restart removes it.
#pragma once

namespace pxLib {

// True when the marker is present. A marker that is not volatile is replaced
// by a volatile one, so that it cannot outlive the next restart.
[[nodiscard]] bool IsRebootPending();
// Deletes the marker with everything beneath it.
[[nodiscard]] bool DeleteRebootKey();
// Creates the marker as a volatile key.
[[nodiscard]] bool CreateVolatileRebootKey();

}  // namespace pxLib

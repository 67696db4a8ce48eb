// The small COM module of the DLL: its one class, the lock count behind
// DllCanUnloadNow and the lazily created class object.
#pragma once

#include <windows.h>

namespace qvd::plugin {

// Module start-up; DllGetClassObject answers E_UNEXPECTED before it.
void InitialiseComModule();

void LockComModule();
void UnlockComModule();
long ComModuleLockCount();

[[nodiscard]] HRESULT ComGetClassObject(REFCLSID clsid, REFIID iid, void** out);
[[nodiscard]] HRESULT ComCanUnloadNow();

}  // namespace qvd::plugin

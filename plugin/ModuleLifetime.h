// What the module does when it is loaded and unloaded.
#pragma once

#include <windows.h>

namespace qvd::plugin {

// Trace provider, the once-only registration of the trust verifier factory,
// the COM module. Never fails the load.
void ModuleStartup(HINSTANCE module);
// Unregisters the trace provider. Objects are never destroyed here.
void ModuleShutdown();

}  // namespace qvd::plugin

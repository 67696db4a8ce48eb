// The default DLL search path, restored before an installer starts so that it
// does not inherit a folder the host added.
#pragma once

namespace qvd::launch {

// A failure is logged; the launch goes on.
void RestoreDefaultDllSearchPath();

}  // namespace qvd::launch

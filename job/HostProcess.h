// What the installer's arguments take from the host process itself.
#pragma once

#include "job/InstallerArguments.h"

namespace qvd::job {

// The host's command line (parsed with "/-") and a reader of its image path
// that logs why it could not read it.
HostProcess CurrentHostProcess();

}  // namespace qvd::job

// Rebuilding a DACL so that one SID holds the rights it is asked to hold.
#pragma once

#include <windows.h>

#include "support/security/AclBuilder.h"
#include "support/security/RightsRequest.h"

namespace ZOLT {

// Walks oldDacl and builds into rebuilt a DACL of explicit entries only, in
// which sid holds request: its explicit denials of requested rights are taken
// out (what else they deny stays) and allowed entries are appended for the
// rights not yet granted. Rights denied by an earlier or an inherited entry do
// not count as granted. True when anything was added or removed; false when
// the old DACL (a null one included) gives the rights already, and then
// rebuilt is incomplete and must not be written. Raises
// CRightsChecker::Exception for an entry type outside the allowed and denied
// kinds or an entry that cannot be added.
[[nodiscard]] bool RebuildDacl(const ACL* oldDacl, const RightsRequest& request, PSID sid,
                               AclBuilder& rebuilt);

}  // namespace ZOLT

// The installed check: is this version of the product (or a newer one)
// installed, so that the installer need not run?
#pragma once

#include "job/JobDescription.h"

namespace qvd::job {

// A first check honours the job's force flag; a follow-up check, after an
// installer ran, does not.
enum class InstalledCheckKind : uint8_t { First, FollowUp };

// What the check found out about the installed version on its way.
struct InstalledVersion {
    bool sameVersion = false;  // equal version and the same product id
    bool notOlder = false;     // equal or newer version
};

bool IsProductInstalled(const JobReader& reader, InstalledCheckKind kind, bool forceOverinstall,
                        InstalledVersion& found);

}  // namespace qvd::job

// The installed check: is this version of the product (or a newer one)
// installed, so that the installer need not run?
#pragma once

#include "job/JobDescription.h"

namespace qvd::job {

// A first check honours the job's force flag; a follow-up check, after an
// installer ran, does not.
enum class InstalledCheckKind : uint8_t { First, FollowUp };

[[nodiscard]] bool IsProductInstalled(const JobReader& reader, InstalledCheckKind kind,
                                      bool forceOverinstall);

}  // namespace qvd::job

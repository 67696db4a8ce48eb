// The job's request to run the installer even over the same or a newer version.
#pragma once

#include "job/JobDescription.h"

namespace qvd::job {

// True for a signed-integer force_overinstall other than 0; a value of any
// other kind is logged with its kind and ignored.
[[nodiscard]] bool ReadForceOverinstall(const JobReader& reader);

}  // namespace qvd::job

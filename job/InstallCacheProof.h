// The last steps of the installed check: what the product's install cache,
// its layout data and the distribution's site code say.
#pragma once

#include "job/JobDescription.h"

namespace qvd::job {

// True when "install.dat" in the expanded install_cache loads, the site code
// (where the product's layout data asks for one) matches, and "finalzed.dat"
// is there.
[[nodiscard]] bool InstallCacheShowsProductInstalled(const JobReader& reader);

}  // namespace qvd::job

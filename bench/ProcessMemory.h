// The benchmark process's memory: the resident set (working set) and its
// high-water mark. On Windows, and under Wine, from the process memory
// counters; natively from /proc/self/status. (Under Wine, Z:\proc\self is the
// wine server's, since the server opens files for its clients.)
#pragma once

#include <cstdint>

namespace bench {

// The resident set and its high-water mark, in KiB; false where unknown.
bool ReadMemoryKiB(uint64_t& resident, uint64_t& peak);

// Starts the high-water mark again from the resident set; false where that
// cannot be done (Windows, Linux before 4.0), and peaks then only grow.
bool RestartPeakMemory();

}  // namespace bench
